// PlainTextParser::parse and parse_text end to end over small credential documents: result, detail
// message, the caller's map afterwards and the log records written.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <PlainTextFileParser/PlainTextFileParser.h>
#include <PlainTextFileParser/detail/CredentialWalk.h>

#include "TestSupport.h"

namespace {

using string_map = std::map<std::string, std::string>;
using test_support::LogCapture;
using test_support::PipeSource;
using test_support::TempDir;

const char* const kNoCredential = "No credential found in plain text file";
const char* const kSourceFile = "Src/Utility/PlainTextFileParser/PlainTextFileParser.cpp";

struct ParseCase {
    const char* name;
    std::string document;
    int code;
    string_map after;                        // the caller's map after the call
    std::vector<std::string> rejected = {};  // target entries logged as invalid, in order
    string_map before = {};                  // the caller's map before the call
};

const ParseCase kCases[] = {
    {"NotJsonWithCallerEntry", "{", RESULT_SUCCEED, {{"k", "v"}}, {}, {{"k", "v"}}},
    {"BareScopeUsesDefaultAlias",
     R"({"connection_credentials": {"default_alias": "u:p"}, "target_systems": ["10.0.0.1"]})",
     RESULT_SUCCEED,
     {{"u@10.0.0.1", "p"}}},
    {"UnknownAliasIsNeitherUsedNorLogged",
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": ["10.0.0.1", "b@not valid"]})",
     RESULT_INVALID_FILE,
     {}},
    {"SplitsAtTheLastAt",
     R"({"connection_credentials": {"a@b": "u:p", "a": "x:y"}, "target_systems": ["a@b@10.0.0.1"]})",
     RESULT_SUCCEED,
     {{"u@10.0.0.1", "p"}}},
    {"EmptyScopeIsRejected",
     R"({"connection_credentials": {"a": "u:p", "default_alias": "d:q"},
         "target_systems": ["a@", ""]})",
     RESULT_INVALID_FILE,
     {},
     {"a@", ""}},
    {"LeadingAtMeansEmptyAlias",
     R"({"connection_credentials": {"": "u:p", "@x": "v:q"},
         "target_systems": ["@10.0.0.1", "@x@10.0.0.2"]})",
     RESULT_SUCCEED,
     {{"u@10.0.0.1", "p"}, {"v@10.0.0.2", "q"}}},
    {"InvalidScopeIsLoggedWholeAndSkipped",
     R"({"connection_credentials": {"a": "u:p"},
         "target_systems": ["a@10.0.0.300", "a@10.0.0.2", "a@10.0.0.300"]})",
     RESULT_SUCCEED,
     {{"u@10.0.0.2", "p"}},
     {"a@10.0.0.300", "a@10.0.0.300"}},
    {"CredentialDividesAtTheFirstColon",
     R"({"connection_credentials": {"a": "user", "b": ":pw", "c": "u:p:a:ss"},
         "kms_credentials": ["a", "b"], "bmc_credentials": ["c"]})",
     RESULT_SUCCEED,
     {{"user@kmsid", ""}, {"@kmsid", "pw"}, {"u@bmc-password", "p:a:ss"}}},
    {"FirstTargetWinsASharedAddress",
     R"({"connection_credentials": {"a": "u:first", "b": "u:second"},
         "target_systems": ["b@10.0.0.2-3", "a@10.0.0.3", "a@10.0.0.4"]})",
     RESULT_SUCCEED,
     {{"u@10.0.0.2", "second"}, {"u@10.0.0.3", "second"}, {"u@10.0.0.4", "first"}}},
    {"TargetsFirstThenEachListInOrder",
     R"({"connection_credentials": {"a": "u:p", "b": "u:kms", "c": "v:1", "d": "v:2"},
         "kms_credentials": ["b", "d", "c"], "bmc_credentials": ["a"],
         "target_systems": ["a@kmsid", "a@10.0.0.1"]})",
     RESULT_SUCCEED,
     {{"u@kmsid", "p"}, {"v@kmsid", "2"}, {"u@10.0.0.1", "p"}, {"u@bmc-password", "p"}}},
    {"OnlyWholeCaseSensitiveAliasesMatch",
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": [],
         "kms_credentials": ["A", "x@a", "a "], "privpassword": ""})",
     RESULT_INVALID_FILE,
     {}},
    {"CallerEntriesKeepTheirValuesAndEmptyPasswordsAddNothing",
     R"({"connection_credentials": {"a": "u:new"}, "target_systems": ["a@10.0.0.1"],
         "privpassword": "theirs", "newpassword": ""})",
     RESULT_SUCCEED,
     {{"privpassword", "mine"}, {"u@10.0.0.1", "old"}},
     {},
     {{"privpassword", "mine"}, {"u@10.0.0.1", "old"}}},
    {"RangeAroundPresentKeys",  // byte order puts 10.0.0.10 between 10.0.0.1 and 10.0.0.2
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": ["a@10.0.0.8-12"]})",
     RESULT_SUCCEED,
     {{"u@10.0.0.8", "p"},
      {"u@10.0.0.9", "mine"},
      {"u@10.0.0.10", "p"},
      {"u@10.0.0.100", "x"},
      {"u@10.0.0.11", "mine"},
      {"u@10.0.0.12", "p"},
      {"v@10.0.0.10", "y"}},
     {},
     {{"u@10.0.0.9", "mine"},
      {"u@10.0.0.11", "mine"},
      {"u@10.0.0.100", "x"},
      {"v@10.0.0.10", "y"}}},
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

// Keeps the keys the walk added and the target entries whose scope it refused.
class Watcher : public plain_text_detail::walk_observer {
public:
    void record_bound(const plain_text_info& record) override { targets = record.target_systems; }
    void scope_rejected(plain_text_detail::entry_source source, std::string_view) override {
        rejected.push_back(targets.at(source.index));
    }
    void key_added(plain_text_detail::entry_source,
                   plain_text_detail::output_map::const_iterator entry) override {
        added[entry->first] = entry->second;
    }

    std::vector<std::string> targets;
    std::vector<std::string> rejected;
    string_map added;
};

// The entry record (at `entry_line` unless 0), then one for each refused host scope.
void expect_records(const std::vector<Kelvor::LogRecord>& records, const ParseCase& c,
                    const std::string& entry, int entry_line) {
    ASSERT_EQ(records.size(), 1 + c.rejected.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].file, kSourceFile);
        EXPECT_EQ(records[i].level, i == 0 ? 4u : 1u);
        if (i > 0 || entry_line != 0) {
            EXPECT_EQ(records[i].line, i == 0 ? entry_line : 82);
        }
        EXPECT_EQ(records[i].text,
                  i == 0 ? entry : "The format of host <" + c.rejected[i - 1] + "> is invalid");
    }
}

class Parse : public ::testing::TestWithParam<ParseCase> {};

// A file, a pipe, text in memory and the walk that tools observe hand out the same result,
// detail, map and records; what the walk tells its observer adds up to what it did.
TEST_P(Parse, EveryWayInHandsOutTheSame) {
    const ParseCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("credentials.json", c.document);
    const auto run = [&](const char* way, auto parse) {
        SCOPED_TRACE(way);
        string_map map = c.before;
        LogCapture log;
        const CorvexResult result = parse(map);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.message, c.code == RESULT_SUCCEED ? "" : kNoCredential);
        EXPECT_EQ(map, c.after);
        return log.records();
    };
    const std::string entry = "Enter PlainTextParser::parse";
    expect_records(run("file", [&](string_map& map) { return PlainTextParser::parse(path, map); }),
                   c, entry, 49);
    expect_records(run("pipe",
                       [&](string_map& map) {
                           const PipeSource pipe(c.document);
                           return PlainTextParser::parse(pipe.path(), map);
                       }),
                   c, entry, 49);
    expect_records(
        run("text", [&](string_map& map) { return PlainTextParser::parse_text(c.document, map); }),
        c, entry + "_text", 0);
    Watcher watcher;
    expect_records(run("observed",
                       [&](string_map& map) {
                           return plain_text_detail::parse_credential_file(path, map, &watcher);
                       }),
                   c, entry, 49);
    string_map added = c.after;
    for (const auto& [key, value] : c.before) {
        added.erase(key);
    }
    EXPECT_EQ(watcher.added, added);
    EXPECT_EQ(watcher.rejected, c.rejected);
}

INSTANTIATE_TEST_SUITE_P(Documents, Parse, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// What cannot be opened, and what is neither a file nor a stream: the map stays untouched and
// only the entry record is written, observed or not.
TEST(ParseUnopenable, AnswersFileNotExist) {
    TempDir dir;
    plain_text_detail::walk_observer silent;
    for (const std::string& path : {(dir.path() / "missing.json").string(), dir.path().string(),
                                    dir.socket("socket"), std::string()}) {
        string_map map = {{"k", "v"}};
        LogCapture log;
        const CorvexResult result = PlainTextParser::parse(path, map);
        EXPECT_EQ(result.code, RESULT_FILE_NOT_EXIST) << path;
        EXPECT_EQ(result.message, "The plain text file not exists");
        EXPECT_EQ(plain_text_detail::parse_credential_file(path, map, &silent).code,
                  RESULT_FILE_NOT_EXIST);
        EXPECT_EQ(map, (string_map{{"k", "v"}}));
        EXPECT_EQ(log.records().size(), 2u);
    }
}

// Streams that end at once: a FIFO nobody writes to (the call must not wait for a writer) and a
// device with nothing in it read as an empty document.
TEST(ParseStreams, ThatEndAtOnceAreEmptyDocuments) {
    TempDir dir;
    const std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/null")}) {
        string_map map;
        LogCapture log;
        EXPECT_EQ(PlainTextParser::parse(path, map).code, RESULT_INVALID_FILE) << path;
        EXPECT_EQ(log.records().size(), 1u);
    }
}

}  // namespace
