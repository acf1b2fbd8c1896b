// PlainTextParser::parse and parse_text end to end over small credential documents: result, detail
// message, the caller's map afterwards and the log records written.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include <PlainTextFileParser/PlainTextFileParser.h>
#include <PlainTextFileParser/detail/CredentialWalk.h>

#include "TestSupport.h"

namespace {

using string_map = std::map<std::string, std::string>;
using test_support::LogCapture;
using test_support::TempDir;

const char* const kNoCredential = "No credential found in plain text file";
const char* const kSourceFile = "Src/Utility/PlainTextFileParser/PlainTextFileParser.cpp";

struct ParseCase {
    const char* name;
    std::string document;
    string_map before;  // the caller's map before the call
    int code;
    string_map after;
    std::vector<std::string> rejected;  // target entries logged as invalid, in order
};

const ParseCase kCases[] = {
    {"EmptyFile", "", {}, RESULT_INVALID_FILE, {}, {}},
    {"NotJsonWithCallerEntry", "{", {{"k", "v"}}, RESULT_SUCCEED, {{"k", "v"}}, {}},
    {"BareScopeUsesDefaultAlias",
     R"({"connection_credentials": {"default_alias": "u:p"}, "target_systems": ["10.0.0.1"]})",
     {},
     RESULT_SUCCEED,
     {{"u@10.0.0.1", "p"}},
     {}},
    {"BareScopeWithoutDefaultAlias",
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": ["10.0.0.1", "not valid"]})",
     {},
     RESULT_INVALID_FILE,
     {},
     {}},
    {"SplitsAtTheLastAt",
     R"({"connection_credentials": {"a@b": "u:p", "a": "x:y"},
         "target_systems": ["a@b@10.0.0.1"]})",
     {},
     RESULT_SUCCEED,
     {{"u@10.0.0.1", "p"}},
     {}},
    {"EmptyScopeIsRejected",
     R"({"connection_credentials": {"a": "u:p", "default_alias": "d:q"},
         "target_systems": ["a@", ""]})",
     {},
     RESULT_INVALID_FILE,
     {},
     {"a@", ""}},
    {"LeadingAtMeansEmptyAlias",
     R"({"connection_credentials": {"": "u:p", "@x": "v:q"},
         "target_systems": ["@10.0.0.1", "@x@10.0.0.2"]})",
     {},
     RESULT_SUCCEED,
     {{"u@10.0.0.1", "p"}, {"v@10.0.0.2", "q"}},
     {}},
    {"InvalidScopeOfUnknownAliasIsNotLogged",
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": ["b@not a scope"]})",
     {},
     RESULT_INVALID_FILE,
     {},
     {}},
    {"InvalidScopeIsLoggedWholeAndSkipped",
     R"({"connection_credentials": {"a": "u:p"},
         "target_systems": ["a@10.0.0.300", "a@10.0.0.2", "a@10.0.0.300"]})",
     {},
     RESULT_SUCCEED,
     {{"u@10.0.0.2", "p"}},
     {"a@10.0.0.300", "a@10.0.0.300"}},
    {"CredentialWithoutColonOrWithLeadingColon",
     R"({"connection_credentials": {"a": "user", "b": ":pw"}, "kms_credentials": ["a", "b"]})",
     {},
     RESULT_SUCCEED,
     {{"user@kmsid", ""}, {"@kmsid", "pw"}},
     {}},
    {"OnlyTheFirstColonDivides",
     R"({"connection_credentials": {"a": "u:p:a:ss"}, "bmc_credentials": ["a", "zz"]})",
     {},
     RESULT_SUCCEED,
     {{"u@bmc-password", "p:a:ss"}},
     {}},
    {"FirstTargetWinsASharedAddress",
     R"({"connection_credentials": {"a": "u:first", "b": "u:second"},
         "target_systems": ["b@10.0.0.2-3", "a@10.0.0.3", "a@10.0.0.4"]})",
     {},
     RESULT_SUCCEED,
     {{"u@10.0.0.2", "second"}, {"u@10.0.0.3", "second"}, {"u@10.0.0.4", "first"}},
     {}},
    {"ExpandsAScope",
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": ["a@192.168.1.0/30"]})",
     {},
     RESULT_SUCCEED,
     {{"u@192.168.1.1", "p"}, {"u@192.168.1.2", "p"}},
     {}},
    {"OneAliasEverywhere",
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": ["a@10.0.0.1"],
         "kms_credentials": ["a"], "bmc_credentials": ["a"]})",
     {},
     RESULT_SUCCEED,
     {{"u@10.0.0.1", "p"}, {"u@kmsid", "p"}, {"u@bmc-password", "p"}},
     {}},
    {"TargetsComeBeforeKms",
     R"({"connection_credentials": {"a": "u:target", "b": "u:kms"},
         "kms_credentials": ["b"], "target_systems": ["a@kmsid"]})",
     {},
     RESULT_SUCCEED,
     {{"u@kmsid", "target"}},
     {}},
    {"KmsListIsWalkedInOrder",
     R"({"connection_credentials": {"a": "u:1", "b": "u:2"}, "kms_credentials": ["b", "a"]})",
     {},
     RESULT_SUCCEED,
     {{"u@kmsid", "2"}},
     {}},
    {"AliasesAreWholeAndCaseSensitive",
     R"({"connection_credentials": {"a": "u:p"}, "kms_credentials": ["A", "x@a", "a "]})",
     {},
     RESULT_INVALID_FILE,
     {},
     {}},
    {"EmptyPasswordsAddNothing",
     R"({"connection_credentials": {"a": "u:p"}, "privpassword": "", "newpassword": "n"})",
     {},
     RESULT_SUCCEED,
     {{"newpassword", "n"}},
     {}},
    {"CallerEntriesKeepTheirValues",
     R"({"connection_credentials": {"a": "u:new"}, "target_systems": ["a@10.0.0.1"],
         "privpassword": "theirs"})",
     {{"privpassword", "mine"}, {"u@10.0.0.1", "old"}},
     RESULT_SUCCEED,
     {{"privpassword", "mine"}, {"u@10.0.0.1", "old"}},
     {}},
    {"CredentialsAloneAreNotEnough",
     R"({"connection_credentials": {"a": "u:p", "b": "v:q"}, "target_systems": [],
         "kms_credentials": [], "privpassword": ""})",
     {},
     RESULT_INVALID_FILE,
     {},
     {}},
    {"MistypedMemberLeavesTheOthers",
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": "a@10.0.0.1",
         "bmc_credentials": ["a"]})",
     {},
     RESULT_SUCCEED,
     {{"u@bmc-password", "p"}},
     {}},
    {"RangeAroundPresentKeys",  // byte order puts 10.0.0.10 between 10.0.0.1 and 10.0.0.2
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": ["a@10.0.0.8-12"]})",
     {{"u@10.0.0.9", "mine"}, {"u@10.0.0.11", "mine"}, {"u@10.0.0.100", "x"}, {"v@10.0.0.10", "y"}},
     RESULT_SUCCEED,
     {{"u@10.0.0.8", "p"},
      {"u@10.0.0.9", "mine"},
      {"u@10.0.0.10", "p"},
      {"u@10.0.0.100", "x"},
      {"u@10.0.0.11", "mine"},
      {"u@10.0.0.12", "p"},
      {"v@10.0.0.10", "y"}},
     {}},
};

// Keeps what the walk tells it about keys and skipped targets.
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
    void key_present(plain_text_detail::entry_source,
                     plain_text_detail::output_map::const_iterator held,
                     std::string_view) override {
        present.push_back(held->first);
    }

    std::vector<std::string> targets;
    std::vector<std::string> rejected;
    string_map added;
    std::vector<std::string> present;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class Parse : public ::testing::TestWithParam<ParseCase> {};

// Writes `text` into a pipe from another thread and returns the path of the pipe's reading end,
// as a shell's process substitution names it; the descriptor is closed when the object ends.
class PipeSource {
public:
    explicit PipeSource(std::string text) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
        reader_ = ends[0];
        writer_ = std::thread([text = std::move(text), fd = ends[1]] {
            for (std::size_t done = 0; done < text.size();) {
                const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
                if (wrote <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(wrote);
            }
            ::close(fd);
        });
    }
    PipeSource(const PipeSource&) = delete;
    PipeSource& operator=(const PipeSource&) = delete;
    ~PipeSource() {
        ::close(reader_);
        writer_.join();
    }
    std::string path() const { return "/dev/fd/" + std::to_string(reader_); }

private:
    int reader_ = -1;
    std::thread writer_;
};

// A file, a pipe and text in memory hand out the same: result, detail, map and records (the entry
// record, then one for each refused host scope); only parse_text's entry record names it.
TEST_P(Parse, EveryWayInHandsOutTheSame) {
    const ParseCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("credentials.json", c.document);
    const auto run = [&](const char* entry, auto parse) {
        string_map map = c.before;
        LogCapture log;
        const CorvexResult result = parse(map);
        EXPECT_EQ(result.code, c.code) << entry;
        EXPECT_EQ(result.message, c.code == RESULT_SUCCEED ? "" : kNoCredential) << entry;
        EXPECT_EQ(map, c.after) << entry;
        return log.records();
    };
    const auto texts = [](const std::vector<Kelvor::LogRecord>& records) {
        std::vector<std::string> all;
        for (const Kelvor::LogRecord& record : records) {
            all.push_back(record.text);
        }
        return all;
    };
    const auto records =
        run("file", [&](string_map& map) { return PlainTextParser::parse(path, map); });
    ASSERT_EQ(records.size(), 1 + c.rejected.size());
    EXPECT_EQ(records[0].level, 4u);
    EXPECT_EQ(records[0].text, "Enter PlainTextParser::parse");
    for (std::size_t i = 0; i < c.rejected.size(); ++i) {
        EXPECT_EQ(records[i + 1].level, 1u);
        EXPECT_EQ(records[i + 1].text, "The format of host <" + c.rejected[i] + "> is invalid");
    }
    const auto from_file = texts(records);
    const auto from_pipe = texts(run("pipe", [&](string_map& map) {
        const PipeSource pipe(c.document);
        return PlainTextParser::parse(pipe.path(), map);
    }));
    auto from_text = texts(run(
        "text", [&](string_map& map) { return PlainTextParser::parse_text(c.document, map); }));
    EXPECT_EQ(from_pipe, from_file);
    ASSERT_FALSE(from_text.empty());
    EXPECT_EQ(from_text.front(), "Enter PlainTextParser::parse_text");
    from_text.front() = from_file.front();
    EXPECT_EQ(from_text, from_file);
}

// The walk that tools run with an observer is parse itself: the same result, map and records,
// and what it tells the observer adds up to what it did.
TEST_P(Parse, ObservedWalkIsParse) {
    const ParseCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("credentials.json", c.document);
    string_map parsed = c.before;
    string_map walked = c.before;
    Watcher watcher;
    std::vector<Kelvor::LogRecord> parse_records;
    std::vector<Kelvor::LogRecord> walk_records;
    CorvexResult parse_result(0);
    CorvexResult walk_result(0);
    {
        LogCapture log;
        parse_result = PlainTextParser::parse(path, parsed);
        parse_records = log.records();
    }
    {
        LogCapture log;
        walk_result = plain_text_detail::parse_credential_file(path, walked, &watcher);
        walk_records = log.records();
    }

    EXPECT_EQ(walk_result.code, parse_result.code);
    EXPECT_EQ(walk_result.message, parse_result.message);
    EXPECT_EQ(walked, parsed);
    ASSERT_EQ(walk_records.size(), parse_records.size());
    for (std::size_t i = 0; i < walk_records.size(); ++i) {
        EXPECT_EQ(walk_records[i].text, parse_records[i].text);
        EXPECT_EQ(walk_records[i].line, parse_records[i].line);
    }
    string_map expected_added = walked;
    for (const auto& [key, value] : c.before) {
        expected_added.erase(key);
    }
    EXPECT_EQ(watcher.added, expected_added);
    for (const std::string& key : watcher.present) {
        EXPECT_EQ(walked.count(key), 1u) << key;
    }
    EXPECT_EQ(watcher.rejected, c.rejected);

    // An observer that does nothing with what it is told changes nothing either.
    plain_text_detail::walk_observer silent;
    string_map quiet = c.before;
    EXPECT_EQ(plain_text_detail::parse_credential_file(path, quiet, &silent).code,
              parse_result.code);
    EXPECT_EQ(quiet, parsed);
}

INSTANTIATE_TEST_SUITE_P(Documents, Parse, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseRecords, CarryTheSourceFileAndLine) {
    TempDir dir;
    const std::string path = dir.write(
        "c.json", R"({"connection_credentials": {"a": "u:p"}, "target_systems": ["a@-"]})");
    string_map map;
    LogCapture log;
    PlainTextParser::parse(path, map);
    ASSERT_EQ(log.records().size(), 2u);
    EXPECT_EQ(log.records()[0].file, kSourceFile);
    EXPECT_EQ(log.records()[0].line, 49);
    EXPECT_EQ(log.records()[1].file, kSourceFile);
    EXPECT_EQ(log.records()[1].line, 82);
}

TEST(ParseRecords, AnObserverHearsOfARefusedPathWithoutAnyRecordBeyondTheFirst) {
    plain_text_detail::walk_observer silent;
    string_map map = {{"k", "v"}};
    TempDir dir;
    LogCapture log;
    EXPECT_EQ(plain_text_detail::parse_credential_file(dir.path().string(), map, &silent).code,
              RESULT_FILE_NOT_EXIST);
    EXPECT_EQ(log.records().size(), 1u);
}

// What cannot be opened, and what is neither a file nor a stream: like a missing file, the map
// stays untouched and only the entry record is written.
TEST(ParseUnopenable, AnswersFileNotExist) {
    TempDir dir;
    const std::string socket_path = dir.socket("socket");
    const std::string paths[] = {(dir.path() / "missing.json").string(), dir.path().string(),
                                 socket_path, ""};
    for (const std::string& path : paths) {
        string_map map = {{"k", "v"}};
        LogCapture log;
        const CorvexResult result = PlainTextParser::parse(path, map);
        EXPECT_EQ(result.code, RESULT_FILE_NOT_EXIST) << path;
        EXPECT_EQ(result.message, "The plain text file not exists");
        EXPECT_EQ(map, (string_map{{"k", "v"}}));
        EXPECT_EQ(log.records().size(), 1u);
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

TEST(ParseUnopenable, FollowsSymbolicLinksToRegularFiles) {
    TempDir dir;
    const std::string target = dir.write("real.json", R"({"privpassword": "p"})");
    const auto link = dir.path() / "link.json";
    std::filesystem::create_symlink(target, link);
    string_map map;
    EXPECT_EQ(PlainTextParser::parse(link.string(), map).code, RESULT_SUCCEED);
    EXPECT_EQ(map, (string_map{{"privpassword", "p"}}));
}

}  // namespace
