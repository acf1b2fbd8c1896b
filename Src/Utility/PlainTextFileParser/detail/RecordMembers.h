#pragma once
// The six members of a credential document and the fields of plain_text_info they bind to: the
// one table that the binding, the parser's walk and the tools go through.

#include <array>
#include <cstddef>
#include <string>
#include <tuple>

#include <PlainTextFileParser/JsonBinding.h>

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

/// One row of the table: a member's name in the document and the field it binds to.
template <class Field>
struct record_member {
    member_id id;
    const char* key;
    Field plain_text_info::*field;
};

/// The table, in binding order.
inline constexpr auto RECORD_MEMBERS = std::make_tuple(
    record_member<std::map<std::string, std::string>>{member_id::connection_credentials,
                                                      KEY_CONNECTION_CREDENTIALS,
                                                      &plain_text_info::connection_credentials},
    record_member<std::vector<std::string>>{member_id::target_systems, KEY_TARGET_SYSTEMS,
                                            &plain_text_info::target_systems},
    record_member<std::vector<std::string>>{member_id::kms_credentials, KEY_KMS_CREDENTIALS,
                                            &plain_text_info::kms_credentials},
    record_member<std::vector<std::string>>{member_id::bmc_credentials, KEY_BMC_CREDENTIALS,
                                            &plain_text_info::bmc_credentials},
    record_member<std::string>{member_id::privpassword, KEY_PRIVPASSWORD,
                               &plain_text_info::privpassword},
    record_member<std::string>{member_id::newpassword, KEY_NEWPASSWORD,
                               &plain_text_info::newpassword});

static_assert(std::tuple_size_v<decltype(RECORD_MEMBERS)> == MEMBER_COUNT);

/// Calls `visit(id, field)` for each member, in binding order, with the field of `record` it
/// binds to. `Record` is plain_text_info, const or not.
template <class Record, class Visitor>
void for_each_member(Record& record, Visitor&& visit) {
    std::apply([&](const auto&... member) { (visit(member.id, record.*member.field), ...); },
               RECORD_MEMBERS);
}

/// The member's name in the document, e.g. "target_systems".
inline const char* member_key(member_id id) {
    const char* key = "";
    std::apply([&](const auto&... member) { ((member.id == id ? (key = member.key) : key), ...); },
               RECORD_MEMBERS);
    return key;
}

/// The member's JSON Pointer, e.g. "/target_systems", built once with json_pointer_append.
inline const std::string& member_pointer(member_id id) {
    static const std::array<std::string, MEMBER_COUNT> pointers = [] {
        std::array<std::string, MEMBER_COUNT> built;
        for (std::size_t i = 0; i < MEMBER_COUNT; ++i) {
            json_pointer_append(built[i], member_key(static_cast<member_id>(i)));
        }
        return built;
    }();
    return pointers[static_cast<std::size_t>(id)];
}

}  // namespace plain_text_detail
