// Credential files that someone may plant to break the parser: each gives its documented result,
// loses nothing and leaves the caller's entries alone. The very large ones are in
// LargeInputTest.cpp, the address cap in AddrkitTest.cpp and the nesting limit with the binding
// (JsonBindingTest.cpp).

#include <gtest/gtest.h>

#include <PlainTextFileParser/PlainTextFileParser.h>

#include "TestSupport.h"

namespace {

using string_map = std::map<std::string, std::string>;

struct HostileCase {
    const char* name;
    std::string document;
    int code;
    string_map expected;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kMegabyteAlias(1 << 20, 'a');

const HostileCase kCases[] = {
    {"DeepNestingDoesNotExhaustTheStack", std::string(1000000, '['), RESULT_INVALID_FILE, {}},
    {"NulInsideAPasswordIsKept",
     R"({"connection_credentials": {"a": "u:p\u0000q"}, "kms_credentials": ["a"],
         "newpassword": "\u0000"})",
     RESULT_SUCCEED,
     {{"u@kmsid", std::string("p\0q", 3)}, {"newpassword", std::string(1, '\0')}}},
    {"MegabyteAlias",
     R"({"connection_credentials": {")" + kMegabyteAlias + R"(": "u:p"}, "target_systems": [")" +
         kMegabyteAlias + R"(@10.0.0.1"]})",
     RESULT_SUCCEED,
     {{"u@10.0.0.1", "p"}}},
    {"NulEndingAScope",  // not an address cut short at the NUL
     R"({"connection_credentials": {"a": "u:p"}, "target_systems": ["a@10.0.0.1\u0000"]})",
     RESULT_INVALID_FILE,
     {}},
};

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, YieldsItsDocumentedResult) {
    const HostileCase& c = GetParam();
    test_support::TempDir dir;
    const std::string path = dir.write("hostile.json", c.document);
    test_support::LogCapture log;
    string_map map;
    EXPECT_EQ(PlainTextParser::parse(path, map).code, c.code);
    EXPECT_EQ(map, c.expected);

    // The same file must leave a caller's entry as it was.
    string_map with_caller = {{"u@10.0.0.1", "caller"}};
    EXPECT_EQ(PlainTextParser::parse(path, with_caller).code, RESULT_SUCCEED);
    EXPECT_EQ(with_caller.at("u@10.0.0.1"), "caller");
}

INSTANTIATE_TEST_SUITE_P(Files, HostileInput, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
