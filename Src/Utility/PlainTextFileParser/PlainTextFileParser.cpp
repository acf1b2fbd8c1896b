// The walk behind PlainTextParser::parse: targets, then the KMS and BMC aliases, then the two
// passwords, in this order because the first value stored under a key wins.

#include "PlainTextFileParser/detail/CredentialWalk.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <boost/json/value.hpp>
#include <boost/system/error_code.hpp>

#include <Kelvor/Addrkit.h>
#include <Kelvor/Log.h>

#include "PlainTextFileParser/detail/InputFileStream.h"
#include "PlainTextFileParser/detail/StreamText.h"

namespace plain_text_detail {
namespace {

// Alias to (user, password) as views into the bound record, filled before any list is walked.
using credential_table = std::unordered_map<std::string_view, credential>;

const char* const FILE_NOT_EXIST_MESSAGE = "The plain text file not exists";
const char* const NO_CREDENTIAL_MESSAGE = "No credential found in plain text file";

template <class Step, class... Args>
void tell(walk_observer* observer, Step step, Args&&... args) {
    if (observer != nullptr) {
        (observer->*step)(std::forward<Args>(args)...);
    }
}

bool opened(const InputFileStream& file, walk_observer* observer);
CorvexResult walk_stream(std::istream& stream, output_map& out, walk_observer* observer);
void tell_key(walk_observer* observer, entry_source source,
              std::pair<output_map::iterator, bool> insertion, std::string_view value);

}  // namespace

// The log records carry the lines of their statements, 49 ("Enter PlainTextParser::parse") and
// 82 (a rejected host scope). Tools match records by file and line: keep both where they are
// (the text entry point's own record is further down).
CorvexResult parse_credential_file(const std::string& path, output_map& out,
                                   walk_observer* observer) {
    {
        Kelvor::Log record(4, __FILE__, __LINE__);
        record.Stream() << "Enter PlainTextParser::parse";
    }
    InputFileStream file(path);
    if (!opened(file, observer)) {
        return CorvexResult(RESULT_FILE_NOT_EXIST, FILE_NOT_EXIST_MESSAGE);
    }
    // What the file holds is read, bound and handed out just as parse_text does with text the
    // caller holds; only the entry record tells the two apart.
    return walk_stream(file.stream(), out, observer);
}

namespace {

// Every address of every target entry whose alias has a credential, in list order; a scope that
// spread_scope_ip refuses is logged. Keys are built from views into the record, and each value
// goes straight into its map node: no password is copied on the way.
void add_target_entries(const std::vector<std::string>& targets, const credential_table& table,
                        output_map& out, walk_observer* observer) {
    std::string scope;                   // these two serve every target: their capacity is
    std::vector<std::string> addresses;  // kept from one to the next
    for (std::size_t index = 0; index < targets.size(); ++index) {
        const std::string& entry = targets[index];
        const entry_source source{member_id::target_systems, index};
        const target_entry target = split_target_entry(entry);
        const auto credential = table.find(target.alias);
        if (credential == table.end()) {
            tell(observer, &walk_observer::alias_unknown, source, target.alias);
            continue;
        }
        scope.assign(target.scope);
        addresses.clear();
        if (!Kelvor::Addrkit::spread_scope_ip(scope, addresses)) {
            Kelvor::Log record(1, __FILE__, __LINE__);
            record.Stream() << "The format of host <" << entry << "> is invalid";
            tell(observer, &walk_observer::scope_rejected, source, target.scope);
            continue;
        }
        tell(observer, &walk_observer::scope_expanded, source, addresses.size());
        const auto& [user, password] = credential->second;
        // A range's next address mostly belongs right next to the one before it: offered that
        // place, the map checks it with two comparisons instead of searching from the root.
        auto hint = out.end();
        for (const std::string& address : addresses) {
            const std::size_t before = out.size();
            hint = out.try_emplace(hint, credential_key(user, address), password);
            if (observer != nullptr) {
                tell_key(observer, source, {hint, out.size() != before}, password);
            }
        }
    }
}

// user@host for every alias of the list that has a credential, in list order; the list says
// which host ("kmsid", "bmc-password").
void add_alias_entries(const std::vector<std::string>& aliases, member_id list,
                       const credential_table& table, output_map& out, walk_observer* observer) {
    const char* const key_host = facts_of(list).key_host;
    for (std::size_t index = 0; index < aliases.size(); ++index) {
        const entry_source source{list, index};
        const auto credential = table.find(aliases[index]);
        if (credential == table.end()) {
            tell(observer, &walk_observer::alias_unknown, source, aliases[index]);
            continue;
        }
        const auto& [user, password] = credential->second;
        tell_key(observer, source, out.try_emplace(credential_key(user, key_host), password),
                 password);
    }
}

// A password member is handed out under its own name.
void add_password(member_id member, const std::string& password, output_map& out,
                  walk_observer* observer) {
    if (!password.empty()) {
        tell_key(observer, {member, 0}, out.try_emplace(member_key(member), password), password);
    }
}

credential_table build_credential_table(const std::map<std::string, std::string>& credentials) {
    credential_table table;
    table.reserve(credentials.size());
    for (const auto& [alias, text] : credentials) {
        table.emplace(alias, split_credential(text));
    }
    return table;
}

// Targets first, then the KMS and BMC aliases, then the two passwords; then the record is the
// observer's.
void hand_out_credentials(plain_text_info& info, output_map& out, walk_observer* observer) {
    tell(observer, &walk_observer::record_bound, info);
    const credential_table table = build_credential_table(info.connection_credentials);
    add_target_entries(info.target_systems, table, out, observer);
    add_alias_entries(info.kms_credentials, member_id::kms_credentials, table, out, observer);
    add_alias_entries(info.bmc_credentials, member_id::bmc_credentials, table, out, observer);
    add_password(member_id::privpassword, info.privpassword, out, observer);
    add_password(member_id::newpassword, info.newpassword, out, observer);
    tell(observer, &walk_observer::walk_done, info);
}

bool opened(const InputFileStream& file, walk_observer* observer) {
    if (!file.file().is_open()) {
        tell(observer, &walk_observer::file_refused, file.file());
        return false;
    }
    tell(observer, &walk_observer::file_opened, file.file().status());
    return true;
}

// Tells the observer whether the entry for `source` went in, or found its key held.
void tell_key(walk_observer* observer, entry_source source,
              std::pair<output_map::iterator, bool> insertion, std::string_view value) {
    if (observer == nullptr) {
        return;
    }
    if (insertion.second) {
        observer->key_added(source, insertion.first);
    } else {
        observer->key_present(source, insertion.first, value);
    }
}

// json_assign (stream form) binds the document when nobody watches. A watched binding runs the
// same steps, reading, parsing and binding member by member, and tells each of them; there
// running out of memory while reading or parsing is not a document that fails, so it leaves the
// walk. A document that fails to bind leaves the record empty either way.
void bind_document(std::istream& stream, plain_text_info& info, walk_observer* observer) {
    if (observer == nullptr) {
        json_assign(stream, info);
        return;
    }
    const secret_string text = read_stream_text(stream);
    boost::system::error_code error;
    std::size_t consumed = 0;
    boost::json::value document = parse_document(text, error, consumed);
    const document_wipe wipe(document);
    if (error) {
        observer->document_failed(text, error, consumed);
        return;
    }
    observer->document_parsed(text, document);
    bind_members(document, info, observer);
}

// Binds the document in `stream` and hands out its credentials. The record's passwords are wiped
// before it is released: the output map holds the only copies then.
CorvexResult walk_stream(std::istream& stream, output_map& out, walk_observer* observer) {
    plain_text_info info;
    const scoped_wipe<plain_text_info, wipe_record> wipe(info);
    bind_document(stream, info, observer);
    hand_out_credentials(info, out, observer);
    return out.empty() ? CorvexResult(RESULT_INVALID_FILE, NO_CREDENTIAL_MESSAGE)
                       : CorvexResult(RESULT_SUCCEED);
}

}  // namespace

CorvexResult parse_credential_text(std::string_view text, output_map& out,
                                   walk_observer* observer) {
    {
        Kelvor::Log record(4, __FILE__, __LINE__);
        record.Stream() << "Enter PlainTextParser::parse_text";
    }
    TextBuffer buffer(text);
    std::istream stream(&buffer);
    return walk_stream(stream, out, observer);
}

walk_observer::~walk_observer() = default;
void walk_observer::file_refused(const InputFile&) {}
void walk_observer::file_opened(const struct stat&) {}
void walk_observer::record_bound(const plain_text_info&) {}
void walk_observer::alias_unknown(entry_source, std::string_view) {}
void walk_observer::scope_rejected(entry_source, std::string_view) {}
void walk_observer::scope_expanded(entry_source, std::size_t) {}
void walk_observer::key_added(entry_source, output_map::const_iterator) {}
void walk_observer::key_present(entry_source, output_map::const_iterator, std::string_view) {}
void walk_observer::walk_done(plain_text_info&) {}

}  // namespace plain_text_detail
