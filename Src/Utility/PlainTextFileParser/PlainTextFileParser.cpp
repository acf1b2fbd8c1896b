// PlainTextParser::parse. The document is bound to a plain_text_info record; then every target
// entry, KMS alias and BMC alias is joined to its credential and handed out as map entries, and
// the two passwords follow. The steps run in this order because the first value stored under a
// key wins.
//
// Keys handed out: user@address per address of a target scope, user@kmsid, user@bmc-password,
// "privpassword" and "newpassword". Every value is a password, stored as the document gives it.

#include <PlainTextFileParser/PlainTextFileParser.h>

#include <unordered_map>
#include <vector>

#include <Kelvor/Addrkit.h>
#include <Kelvor/Log.h>
#include <PlainTextFileParser/JsonBinding.h>

#include "PlainTextFileParser/RegularFileStream.h"
#include "PlainTextFileParser/detail/CredentialText.h"

namespace {

using output_map = std::map<std::string, std::string>;
// Alias to (user, password) as views into the bound record, filled before any list is walked.
using credential_table = std::unordered_map<std::string_view, plain_text_detail::credential>;

const char* const FILE_NOT_EXIST_MESSAGE = "The plain text file not exists";
const char* const NO_CREDENTIAL_MESSAGE = "No credential found in plain text file";

credential_table build_credential_table(const std::map<std::string, std::string>& credentials);
void hand_out_credentials(const plain_text_info& info, output_map& out);
// Every address of every target entry whose alias has a credential, in list order.
void add_target_entries(const std::vector<std::string>& targets, const credential_table& table,
                        output_map& out);
void add_alias_entries(const std::vector<std::string>& aliases, const char* key_host,
                       const credential_table& table, output_map& out);
void add_password(const char* key, const std::string& password, output_map& out);

}  // namespace

PlainTextParser& PlainTextParser::operator=(const PlainTextParser&) = default;
PlainTextParser& PlainTextParser::operator=(PlainTextParser&&) = default;

// The log records carry the lines of their statements, 49 ("Enter PlainTextParser::parse") and 82
// (a rejected host scope). Tools match records by file and line: keep both where they are.

CorvexResult PlainTextParser::parse(const std::string& path, output_map& out) {
    {
        Kelvor::Log record(4, __FILE__, __LINE__);
        record.Stream() << "Enter PlainTextParser::parse";
    }

    plain_text_detail::RegularFileStream file(path);
    if (!file.stream().good()) {
        return CorvexResult(RESULT_FILE_NOT_EXIST, FILE_NOT_EXIST_MESSAGE);
    }

    plain_text_info info;
    json_assign(file.stream(), info);  // a document that fails to bind leaves `info` empty

    hand_out_credentials(info, out);

    return out.empty() ? CorvexResult(RESULT_INVALID_FILE, NO_CREDENTIAL_MESSAGE)
                       : CorvexResult(RESULT_SUCCEED);
}

namespace {

void add_target_entries(const std::vector<std::string>& targets, const credential_table& table,
                        output_map& out) {
    std::string scope;                   // these two serve every target: their capacity is
    std::vector<std::string> addresses;  // kept from one to the next
    for (const std::string& entry : targets) {
        const plain_text_detail::target_entry target = plain_text_detail::split_target_entry(entry);
        const auto credential = table.find(target.alias);
        if (credential == table.end()) {
            continue;
        }
        scope.assign(target.scope);
        addresses.clear();
        if (!Kelvor::Addrkit::spread_scope_ip(scope, addresses)) {
            Kelvor::Log record(1, __FILE__, __LINE__);
            record.Stream() << "The format of host <" << entry << "> is invalid";
            continue;
        }
        const auto& [user, password] = credential->second;
        // A range's next address mostly belongs right next to the one before it: offered that
        // place, the map checks it with two comparisons instead of searching from the root.
        auto hint = out.end();
        for (const std::string& address : addresses) {
            hint =
                out.try_emplace(hint, plain_text_detail::credential_key(user, address), password);
        }
    }
}

// Targets first, then the KMS and BMC aliases, then the two passwords.
void hand_out_credentials(const plain_text_info& info, output_map& out) {
    const credential_table table = build_credential_table(info.connection_credentials);
    add_target_entries(info.target_systems, table, out);
    add_alias_entries(info.kms_credentials, "kmsid", table, out);
    add_alias_entries(info.bmc_credentials, "bmc-password", table, out);
    add_password(KEY_PRIVPASSWORD, info.privpassword, out);
    add_password(KEY_NEWPASSWORD, info.newpassword, out);
}

credential_table build_credential_table(const std::map<std::string, std::string>& credentials) {
    credential_table table;
    table.reserve(credentials.size());
    for (const auto& [alias, text] : credentials) {
        table.emplace(alias, plain_text_detail::split_credential(text));
    }
    return table;
}

// user@key_host for every alias of the list that has a credential, in list order.
void add_alias_entries(const std::vector<std::string>& aliases, const char* key_host,
                       const credential_table& table, output_map& out) {
    for (const std::string& alias : aliases) {
        const auto credential = table.find(alias);
        if (credential != table.end()) {
            out.try_emplace(plain_text_detail::credential_key(credential->second.user, key_host),
                            credential->second.password);
        }
    }
}

void add_password(const char* key, const std::string& password, output_map& out) {
    if (!password.empty()) {
        out.try_emplace(key, password);
    }
}

}  // namespace
