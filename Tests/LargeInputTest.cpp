// Credential files of hostile size. Slow, so they carry the CTest label "large" and run apart
// from the default suite.

#include <gtest/gtest.h>

#include <PlainTextFileParser/PlainTextFileParser.h>
#include <PlainTextFileParser/detail/CredentialWalk.h>
#include <PlainTextFileParser/detail/InputFile.h>

#include "TestSupport.h"

namespace {

using string_map = std::map<std::string, std::string>;

// A stream longer than 256 MiB is not parsed: parse sees a document that does not parse, the walk
// that tools observe says why, and neither holds more than the limit in memory.
TEST(LargeInput, EndlessStreamIsNoDocument) {
    string_map map;
    test_support::LogCapture log;
    const CorvexResult result = PlainTextParser::parse("/dev/zero", map);
    EXPECT_EQ(result.code, RESULT_INVALID_FILE);
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(log.records().size(), 1u);

    plain_text_detail::walk_observer silent;
    EXPECT_THROW(plain_text_detail::parse_credential_file("/dev/zero", map, &silent),
                 plain_text_detail::input_too_long);
}

// A document that fits, followed by more than the limit of whitespace: cut at the limit it would
// still parse, so it must not be taken for the part that fits.
TEST(LargeInput, StreamPastTheLimitIsNotCut) {
    for (const std::size_t length :
         {plain_text_detail::STREAM_LIMIT, plain_text_detail::STREAM_LIMIT + 1}) {
        std::string text = R"({"privpassword": "p"})";
        text.resize(length, ' ');
        const test_support::PipeSource pipe(std::move(text));
        string_map map;
        EXPECT_EQ(PlainTextParser::parse(pipe.path(), map).code,
                  length > plain_text_detail::STREAM_LIMIT ? RESULT_INVALID_FILE : RESULT_SUCCEED)
            << length;
    }
}

// A million target entries, every fourth of an alias without credential, and a password of
// 100 MiB: all handed out, the password whole.
TEST(LargeInput, MillionTargetsAndAHundredMegabytePassword) {
    const int targets = 1000000;
    const std::size_t size = 100u << 20;
    std::string document = R"({"connection_credentials": {"a": "u:p", "b": "v:q"},
                               "privpassword": ")" +
                           std::string(size, 'x') + R"(", "target_systems": [)";
    for (int i = 0; i < targets; ++i) {
        document += i % 4 == 3 ? "\"z@" : "\"a@";
        document += "10." + std::to_string(i >> 16) + "." + std::to_string((i >> 8) & 255) + "." +
                    std::to_string(i & 255) + "\",";
    }
    document += R"("b@10.0.0.0"]})";
    test_support::TempDir dir;
    const std::string path = dir.write("huge.json", document);
    document = std::string();

    string_map map;
    test_support::LogCapture log;
    EXPECT_EQ(PlainTextParser::parse(path, map).code, RESULT_SUCCEED);
    EXPECT_EQ(map.size(),
              static_cast<std::size_t>(targets / 4 * 3 + 2));  // v@10.0.0.0, privpassword
    EXPECT_EQ(map.at("u@10.0.0.0"), "p");
    EXPECT_EQ(map.at("u@10.15.66.62"), "p");    // entry 999998
    EXPECT_EQ(map.count("u@10.15.66.63"), 0u);  // entry 999999 names "z"
    EXPECT_EQ(map.count("v@10.0.0.0"), 1u);
    EXPECT_EQ(map.at("privpassword"), std::string(size, 'x'));
    EXPECT_EQ(log.records().size(), 1u);
}

}  // namespace
