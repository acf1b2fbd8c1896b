// The logging stand-in: records reach the sink when they end, SetSink swaps the process-wide
// sink, and the default sink writes the severe levels to standard error.

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <Kelvor/Log.h>
#include <PlainTextFileParser/PlainTextFileParser.h>

#include "TestSupport.h"

namespace {

TEST(Log, RecordReachesTheSinkWhenItEnds) {
    test_support::LogCapture capture;
    {
        Kelvor::Log record(2, "some/file.cpp", 17);
        record.Stream() << "value " << 42;
        EXPECT_TRUE(capture.records().empty());
    }
    ASSERT_EQ(capture.records().size(), 1u);
    const Kelvor::LogRecord& record = capture.records()[0];
    EXPECT_EQ(record.level, 2u);
    EXPECT_EQ(record.file, "some/file.cpp");
    EXPECT_EQ(record.line, 17);
    EXPECT_EQ(record.text, "value 42");
}

TEST(Log, SetSinkReturnsThePreviousSink) {
    int first = 0, second = 0;
    Kelvor::LogSink original = Kelvor::Log::SetSink([&](const Kelvor::LogRecord&) { ++first; });
    Kelvor::LogSink previous = Kelvor::Log::SetSink([&](const Kelvor::LogRecord&) { ++second; });
    Kelvor::Log(1, "f", 1).Stream() << "x";
    ASSERT_TRUE(previous);
    previous(Kelvor::LogRecord{});
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    Kelvor::Log::SetSink(std::move(original));
}

TEST(Log, ThrowingSinkDoesNotEscapeTheRecord) {
    Kelvor::LogSink original =
        Kelvor::Log::SetSink([](const Kelvor::LogRecord&) { throw std::runtime_error("full"); });
    EXPECT_NO_THROW(Kelvor::Log(1, "f", 1).Stream() << "x");
    Kelvor::Log::SetSink(std::move(original));
}

TEST(Log, EmptySinkRestoresTheDefaultSink) {
    Kelvor::LogSink original = Kelvor::Log::SetSink(nullptr);
    testing::internal::CaptureStderr();
    Kelvor::Log(1, "a.cpp", 3).Stream() << "severe";
    Kelvor::Log(4, "a.cpp", 4).Stream() << "trace";
    Kelvor::Log(2, "b.cpp", 5).Stream() << "host <\x1b]0;title\x07 \n \xc2\x9b"
                                           "31m \xe2\x82\xac>";
    const std::string written = testing::internal::GetCapturedStderr();
    Kelvor::Log::SetSink(std::move(original));
    // One whole line per record up to level 3, its control characters written as escapes.
    EXPECT_EQ(written,
              "[1] a.cpp:3 severe\n"
              "[2] b.cpp:5 host <\\x1b]0;title\\x07 \\x0a \\u009b31m \xe2\x82\xac>\n");
}

// Records of parse calls on several threads at once reach standard error as whole lines.
TEST(Log, DefaultSinkKeepsConcurrentRecordsWhole) {
    test_support::TempDir dir;
    std::ostringstream document;
    document << R"({"connection_credentials": {"a": "u:p"}, "target_systems": [)";
    constexpr int kTargets = 200;
    for (int i = 0; i < kTargets; ++i) {
        document << (i ? "," : "") << "\"a@host-" << i << "-" << std::string(100, 'x') << "!\"";
    }
    document << "]}";
    const std::string path = dir.write("credentials.json", document.str());
    Kelvor::LogSink original = Kelvor::Log::SetSink(nullptr);
    testing::internal::CaptureStderr();
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&path] {
            std::map<std::string, std::string> out;
            PlainTextParser::parse(path, out);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::string written = testing::internal::GetCapturedStderr();
    Kelvor::Log::SetSink(std::move(original));

    std::istringstream lines(written);
    std::map<std::string, int> seen;
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ++seen[line];
    }
    EXPECT_EQ(count, kThreads * kTargets);
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kTargets)) << written.substr(0, 2000);
    for (const auto& [line, times] : seen) {
        EXPECT_EQ(line.rfind("[1] Src/Utility/PlainTextFileParser/PlainTextFileParser.cpp:82 "
                             "The format of host <a@host-",
                             0),
                  0u)
            << line;
        EXPECT_EQ(times, kThreads) << line;
    }
}

}  // namespace
