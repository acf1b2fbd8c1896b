// Credential files that someone may plant to break the parser: each gives its documented result,
// loses nothing and leaves the caller's entries alone. The very large ones are in
// LargeInputTest.cpp; the nesting limit is tested with the binding (JsonBindingTest.cpp).

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include <PlainTextFileParser/PlainTextFileParser.h>

#include "TestSupport.h"

namespace {

using string_map = std::map<std::string, std::string>;

std::string repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

struct HostileCase {
    const char* name;
    std::function<std::string()> document;
    int code;
    std::function<void(const string_map&)> check;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kMegabyteAlias(1 << 20, 'a');

const HostileCase kCases[] = {
    {"DeepNestingDoesNotExhaustTheStack", [] { return repeat("[", 1000000); }, RESULT_INVALID_FILE,
     [](const string_map& map) { EXPECT_TRUE(map.empty()); }},
    {"InvalidUtf8InAMemberName", [] { return "{\"x\xC0\xAF\": 1, \"privpassword\": \"p\"}"; },
     RESULT_INVALID_FILE, [](const string_map& map) { EXPECT_TRUE(map.empty()); }},
    {"NulInsideAPasswordIsKept",
     [] {
         return R"({"connection_credentials": {"a": "u:p\u0000q"}, "kms_credentials": ["a"],
                    "newpassword": "\u0000"})";
     },
     RESULT_SUCCEED,
     [](const string_map& map) {
         EXPECT_EQ(map.at("u@kmsid"), std::string("p\0q", 3));
         EXPECT_EQ(map.at("newpassword"), std::string(1, '\0'));
     }},
    {"MegabyteAlias",
     [] {
         return R"({"connection_credentials": {")" + kMegabyteAlias + R"(": "u:p"},
                    "target_systems": [")" +
                kMegabyteAlias + R"(@10.0.0.1"]})";
     },
     RESULT_SUCCEED,
     [](const string_map& map) {
         EXPECT_EQ(map, (string_map{{"u@10.0.0.1", "p"}}));
     }},
    {"ScopeAtTheAddressCap",
     [] {
         return R"({"connection_credentials": {"a": "u:p"},
                    "target_systems": ["a@10.0.0.0-10.0.255.255"]})";
     },
     RESULT_SUCCEED,
     [](const string_map& map) {
         EXPECT_EQ(map.size(), 65536u);
         EXPECT_EQ(map.count("u@10.0.0.0"), 1u);
         EXPECT_EQ(map.count("u@10.0.255.255"), 1u);
     }},
    {"ScopesJustOverTheAddressCap",
     [] {
         return R"({"connection_credentials": {"a": "u:p"},
                    "target_systems": ["a@10.0.0.0-10.1.0.0", "a@10.0.0.0/15",
                                       "a@h[0-65536].lab"]})";
     },
     RESULT_INVALID_FILE, [](const string_map& map) { EXPECT_TRUE(map.empty()); }},
    {"ControlCharactersInAScope",
     [] {
         return R"({"connection_credentials": {"a": "u:p"},
                    "target_systems": ["a@10.0.0.1\u0000", "a@10.0.0.1\n", "a@ 10.0.0.1"]})";
     },
     RESULT_INVALID_FILE, [](const string_map& map) { EXPECT_TRUE(map.empty()); }},
};

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, YieldsItsDocumentedResult) {
    const HostileCase& c = GetParam();
    test_support::TempDir dir;
    const std::string path = dir.write("hostile.json", c.document());
    test_support::LogCapture log;
    string_map map;
    EXPECT_EQ(PlainTextParser::parse(path, map).code, c.code);
    c.check(map);

    // The same file must leave a caller's entry as it was.
    string_map with_caller = {{"u@10.0.0.1", "caller"}};
    EXPECT_EQ(PlainTextParser::parse(path, with_caller).code, RESULT_SUCCEED);
    EXPECT_EQ(with_caller.at("u@10.0.0.1"), "caller");
}

INSTANTIATE_TEST_SUITE_P(Files, HostileInput, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Another process keeps appending to the file while parse reads it: parse reads the file as it
// was when it was opened, so it returns, and hands out what was there.
TEST(HostileFile, GrowingWhileItIsReadIsReadAsItWasWhenOpened) {
    test_support::TempDir dir;
    const std::string document = R"({"connection_credentials": {"a": "u:p"},
                                     "target_systems": ["a@10.0.0.1"]})";
    const std::string path = dir.write("growing.json", document + "\n");
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> appended{0};
    std::thread writer([&] {
        std::ofstream out(path, std::ios::app);
        const std::string line = "// pad" + std::string(4096, ' ') + "\n";
        while (!stop) {
            out << line << std::flush;
            ++appended;
        }
    });
    while (appended < 16) {
        std::this_thread::yield();
    }
    string_map map;
    const CorvexResult result = PlainTextParser::parse(path, map);
    const std::size_t appended_while_parsing = appended;
    stop = true;
    writer.join();
    EXPECT_EQ(result.code, RESULT_SUCCEED);
    EXPECT_EQ(map, (string_map{{"u@10.0.0.1", "p"}}));
    EXPECT_GE(appended_while_parsing, 16u);
}

}  // namespace
