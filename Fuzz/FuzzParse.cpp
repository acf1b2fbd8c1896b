// PlainTextParser::parse end to end: the bytes are written to a file, which is parsed twice,
// once into a map that already holds the caller's entries and once into an empty map; then the
// bytes are parsed once more as text with parse_text.
//
// Checked on every input:
// - the caller's entries keep their values;
// - every key that parse adds is "privpassword", "newpassword", or ends in "@kmsid" or
//   "@bmc-password", or is a user name, "@" and one address (an IPv4 or IPv6 text or a host name);
// - the code is RESULT_SUCCEED when the map is not empty at the end (with an empty message),
//   else RESULT_INVALID_FILE with "No credential found in plain text file";
// - both calls add the same entries: the pre-filled map ends as the caller's entries plus the
//   entries of the empty-map call whose keys the caller did not hold;
// - each call writes one level 4 record "Enter PlainTextParser::parse" and otherwise only level 1
//   records "The format of host <...> is invalid", the same ones both times;
// - parse_text hands out what parse does from the file, with the same result and host records,
//   and its entry record "Enter PlainTextParser::parse_text"; wipe_credentials empties its map.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <Kelvor/Log.h>
#include <PlainTextFileParser/PlainTextFileParser.h>
#include <PlainTextFileParser/detail/RecordMembers.h>

#include "FuzzSupport.h"

namespace {

using namespace fuzz_support;

using output_map = std::map<std::string, std::string>;

// The records of one call, as the sink saw them.
struct SeenRecords {
    int entries = 0;
    std::string entry;
    std::vector<std::string> rejected_hosts;
    bool unexpected = false;
};

SeenRecords seen;

void collect_record(const Kelvor::LogRecord& record) {
    constexpr std::string_view prefix = "The format of host <";
    constexpr std::string_view suffix = "> is invalid";
    if (record.level == 4 && (record.text == "Enter PlainTextParser::parse" ||
                              record.text == "Enter PlainTextParser::parse_text")) {
        ++seen.entries;
        seen.entry = record.text;
    } else if (record.level == 1 && starts_with(record.text, prefix) &&
               ends_with(record.text, suffix) &&
               record.text.size() >= prefix.size() + suffix.size()) {
        seen.rejected_hosts.push_back(record.text);
    } else {
        seen.unexpected = true;
    }
}

const output_map& caller_entries() {
    // Keys that a document can produce too, so that "the first value stored wins" is exercised.
    static const output_map entries = {
        {"admin@10.0.0.1", "caller-value-one"},
        {"privpassword", "caller-value-two"},
    };
    return entries;
}

bool is_added_key(const std::string& key) {
    using namespace plain_text_detail;
    if (key == member_key(member_id::privpassword) || key == member_key(member_id::newpassword)) {
        return true;
    }
    if (key.find('@') == std::string::npos) {
        return false;
    }
    const std::string_view host = split_key(key).host;
    return is_reserved_key_host(host) || is_address_or_host_name(std::string(host));
}

struct CallOutcome {
    CorvexResult result;
    SeenRecords records;
};

CallOutcome parse_into(output_map& out) {
    seen = SeenRecords();
    CorvexResult result = PlainTextParser::parse(input_file().path(), out);
    return {std::move(result), std::move(seen)};
}

CallOutcome parse_text_into(std::string_view text, output_map& out) {
    seen = SeenRecords();
    CorvexResult result = PlainTextParser::parse_text(text, out);
    return {std::move(result), std::move(seen)};
}

void check_result(const CallOutcome& outcome, const output_map& out) {
    require(outcome.records.entries == 1);
    require(!outcome.records.unexpected);
    if (out.empty()) {
        require(outcome.result.code == RESULT_INVALID_FILE);
        require(outcome.result.message == "No credential found in plain text file");
    } else {
        require(outcome.result.code == RESULT_SUCCEED);
        require(outcome.result.message.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Kelvor::Log::SetSink(collect_record);
    input_file();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    input_file().write(data, size);

    output_map prefilled = caller_entries();
    const CallOutcome with_callers = parse_into(prefilled);
    check_result(with_callers, prefilled);
    require(with_callers.result.code == RESULT_SUCCEED);  // the caller's entries are there

    for (const auto& [key, value] : caller_entries()) {
        const auto found = prefilled.find(key);
        require(found != prefilled.end() && found->second == value);
    }

    output_map fresh;
    const CallOutcome alone = parse_into(fresh);
    check_result(alone, fresh);
    require(alone.records.rejected_hosts == with_callers.records.rejected_hosts);

    for (const auto& [key, value] : fresh) {
        require(is_added_key(key));
    }

    // The pre-filled map is the caller's entries plus every entry of the empty-map call whose
    // key the caller did not hold.
    output_map merged = caller_entries();
    merged.insert(fresh.begin(), fresh.end());
    require(merged == prefilled);

    output_map from_text;
    const CallOutcome text =
        parse_text_into(std::string_view(reinterpret_cast<const char*>(data), size), from_text);
    check_result(text, from_text);
    require(alone.records.entry == "Enter PlainTextParser::parse");
    require(text.records.entry == "Enter PlainTextParser::parse_text");
    require(text.result.code == alone.result.code);
    require(text.records.rejected_hosts == alone.records.rejected_hosts);
    require(from_text == fresh);
    PlainTextParser::wipe_credentials(from_text);
    require(from_text.empty());
    return 0;
}
