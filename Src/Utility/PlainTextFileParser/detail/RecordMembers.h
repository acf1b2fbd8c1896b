#pragma once
// The six members of a credential document: their names, kinds, the fields of plain_text_info
// they bind to and the keys they hand out. The one table that the binding, the parser's walk and
// the tools go through.

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include <PlainTextFileParser/JsonBinding.h>

#include "PlainTextFileParser/detail/CredentialText.h"

namespace plain_text_detail {

/// A member of the credential document; the values follow binding order.
enum class member_id : std::size_t {
    connection_credentials,
    target_systems,
    kms_credentials,
    bmc_credentials,
    privpassword,
    newpassword,
};

inline constexpr std::size_t MEMBER_COUNT = 6;

/// What a member's value is.
enum class member_kind {
    /// An object of alias to credential text ("user:password").
    credentials,
    /// An array of strings: target entries or aliases.
    list,
    /// A string, handed out under the member's own name.
    password,
};

/// What the file format says of a member, apart from the field it binds to.
struct member_facts {
    member_id id;
    member_kind kind;
    /// The member's name in the document, e.g. "target_systems".
    const char* key;
    /// For the alias lists, the host of the keys their aliases hand out ("kmsid"); null for the
    /// other members.
    const char* key_host;
};

/// One row of the table: a member's facts and the field of plain_text_info it binds to.
template <class Field>
struct record_member : member_facts {
    Field plain_text_info::*field;
};

/// The table, in binding order.
inline constexpr auto RECORD_MEMBERS = std::make_tuple(
    record_member<std::map<std::string, std::string>>{
        {member_id::connection_credentials, member_kind::credentials, KEY_CONNECTION_CREDENTIALS,
         nullptr},
        &plain_text_info::connection_credentials},
    record_member<std::vector<std::string>>{
        {member_id::target_systems, member_kind::list, KEY_TARGET_SYSTEMS, nullptr},
        &plain_text_info::target_systems},
    record_member<std::vector<std::string>>{
        {member_id::kms_credentials, member_kind::list, KEY_KMS_CREDENTIALS, KMS_KEY_HOST},
        &plain_text_info::kms_credentials},
    record_member<std::vector<std::string>>{
        {member_id::bmc_credentials, member_kind::list, KEY_BMC_CREDENTIALS, BMC_KEY_HOST},
        &plain_text_info::bmc_credentials},
    record_member<std::string>{
        {member_id::privpassword, member_kind::password, KEY_PRIVPASSWORD, nullptr},
        &plain_text_info::privpassword},
    record_member<std::string>{
        {member_id::newpassword, member_kind::password, KEY_NEWPASSWORD, nullptr},
        &plain_text_info::newpassword});

/// The facts of every member, indexed by member_id.
inline constexpr std::array<member_facts, MEMBER_COUNT> MEMBER_FACTS = std::apply(
    [](const auto&... member) {
        return std::array<member_facts, MEMBER_COUNT>{static_cast<const member_facts&>(member)...};
    },
    RECORD_MEMBERS);

static_assert(std::tuple_size_v<decltype(RECORD_MEMBERS)> == MEMBER_COUNT);
static_assert(
    [] {
        for (std::size_t i = 0; i < MEMBER_COUNT; ++i) {
            if (MEMBER_FACTS[i].id != static_cast<member_id>(i)) {
                return false;
            }
        }
        return true;
    }(),
    "the table's rows follow member_id");

/// The facts of `id`.
constexpr const member_facts& facts_of(member_id id) {
    return MEMBER_FACTS[static_cast<std::size_t>(id)];
}

/// The facts of the member named `key` in the document, or null when it has none of that name.
constexpr const member_facts* find_member(std::string_view key) {
    for (const member_facts& facts : MEMBER_FACTS) {
        if (key == facts.key) {
            return &facts;
        }
    }
    return nullptr;
}

/// The member's name in the document, e.g. "target_systems".
constexpr const char* member_key(member_id id) {
    return facts_of(id).key;
}

/// True for privpassword and newpassword.
constexpr bool is_password_member(member_id id) {
    return facts_of(id).kind == member_kind::password;
}

/// Calls `visit(facts, field)` for each member, in binding order, with the field of `record` it
/// binds to. `Record` is plain_text_info, const or not.
template <class Record, class Visitor>
void for_each_member(Record& record, Visitor&& visit) {
    std::apply(
        [&](const auto&... member) {
            (visit(static_cast<const member_facts&>(member), record.*member.field), ...);
        },
        RECORD_MEMBERS);
}

/// The list of `record` that `id` binds to, or null when `id` is no list member.
template <class Record>
auto* member_list(Record& record, member_id id) {
    using list = std::conditional_t<std::is_const_v<Record>, const std::vector<std::string>,
                                    std::vector<std::string>>;
    list* found = nullptr;
    for_each_member(record, [&](const member_facts& member, auto& field) {
        if constexpr (std::is_same_v<std::remove_const_t<std::remove_reference_t<decltype(field)>>,
                                     std::vector<std::string>>) {
            if (member.id == id) {
                found = &field;
            }
        }
    });
    return found;
}

/// The member's JSON Pointer, e.g. "/target_systems", built once with json_pointer_append.
inline const std::string& member_pointer(member_id id) {
    static const std::array<std::string, MEMBER_COUNT> pointers = [] {
        std::array<std::string, MEMBER_COUNT> built;
        for (std::size_t i = 0; i < MEMBER_COUNT; ++i) {
            json_pointer_append(built[i], MEMBER_FACTS[i].key);
        }
        return built;
    }();
    return pointers[static_cast<std::size_t>(id)];
}

/// What a bound field holds: credentials or list entries, or 1 for a password that is set.
template <class Field>
std::size_t item_count(const Field& items) {
    return items.size();
}

inline std::size_t item_count(const std::string& password) {
    return password.empty() ? 0 : 1;
}

}  // namespace plain_text_detail
