// The logging stand-in: records reach the sink when they end, SetSink swaps the process-wide
// sink, and the default sink writes the severe levels to standard error.

#include <cstdlib>
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
    // A sink that throws does not take the record's owner with it.
    Kelvor::Log::SetSink([](const Kelvor::LogRecord&) { throw std::runtime_error("full"); });
    EXPECT_NO_THROW(Kelvor::Log(1, "f", 1).Stream() << "x");
    Kelvor::Log::SetSink(std::move(original));
}

TEST(Log, EmptySinkRestoresTheDefaultSink) {
    Kelvor::LogSink original = Kelvor::Log::SetSink(nullptr);
    testing::internal::CaptureStderr();
    Kelvor::Log(1, "a.cpp", 3).Stream() << "severe";
    Kelvor::Log(4, "a.cpp", 4).Stream() << "trace";
    Kelvor::Log(2, "b.cpp", 5).Stream() << "host <\x1b>\n";
    const std::string written = testing::internal::GetCapturedStderr();
    Kelvor::Log::SetSink(std::move(original));
    // One whole line per record up to level 3, in one write, with its text escaped.
    EXPECT_EQ(written, "[1] a.cpp:3 severe\n[2] b.cpp:5 host <\\x1b>\\n\n");
}

// KELVOR_LOG_LEVEL, read once per process, raises or lowers the default sink's bar; a value that
// is not a number leaves it at 3. Each case runs in a process of its own.
TEST(LogDeathTest, DefaultSinkTakesItsLevelFromTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto log_at = [](const char* level) {
        ::setenv("KELVOR_LOG_LEVEL", level, 1);
        Kelvor::Log::SetSink(nullptr);
        Kelvor::Log(4, "a.cpp", 1).Stream() << "trace";
        Kelvor::Log(3, "a.cpp", 2).Stream() << "warning";
        Kelvor::Log(2, "a.cpp", 3).Stream() << "error";
        std::exit(0);
    };
    EXPECT_EXIT(log_at("4"), ::testing::ExitedWithCode(0),
                "^\\[4\\] a.cpp:1 trace\n\\[3\\] a.cpp:2 warning\n\\[2\\] a.cpp:3 error\n$");
    EXPECT_EXIT(log_at("2"), ::testing::ExitedWithCode(0), "^\\[2\\] a.cpp:3 error\n$");
    EXPECT_EXIT(log_at("4x"), ::testing::ExitedWithCode(0),
                "^\\[3\\] a.cpp:2 warning\n\\[2\\] a.cpp:3 error\n$");
}

// What Escape makes of text that could act on a terminal, hide, reorder or forge what it shows.
TEST(Log, EscapeLeavesNothingThatActsHidesOrReorders) {
    const struct {
        const char* name;
        std::string text;
        std::string escaped;
    } cases[] = {
        {"plain ASCII and other scripts stay", "r\xc3\xa9seau \xe2\x82\xac 10.0.0.1",
         "r\xc3\xa9seau \xe2\x82\xac 10.0.0.1"},
        {"line ends and tabs", "a\nb\rc\td", "a\\nb\\rc\\td"},
        {"C0, DEL and C1 controls", std::string("\x00\x1b\x7f\xc2\x85", 5),
         "\\x00\\x1b\\x7f\\u0085"},
        {"a backslash reads one way", "\\x1b", "\\\\x1b"},
        {"bidi override, isolate, mark and zero width",
         "\xe2\x80\xae\xe2\x81\xa6\xd8\x9c\xe2\x80\x8b", "\\u202e\\u2066\\u061c\\u200b"},
        {"default-ignorable letters and marks", "\xcd\x8f\xe1\x85\x9f\xe3\x85\xa4\xef\xbb\xbf",
         "\\u034f\\u115f\\u3164\\ufeff"},
        {"tags and unassigned planes", "\xf3\xa0\x80\x80\xf3\xa0\x80\x81",
         "\\U000e0000\\U000e0001"},
        {"line and paragraph separators", "\xe2\x80\xa8\xe2\x80\xa9", "\\u2028\\u2029"},
        {"private use and the blank Braille pattern", "\xee\x80\x80\xe2\xa0\x80\xe2\xa0\x81",
         "\\ue000\\u2800\xe2\xa0\x81"},
        {"spaces that pass for U+0020",
         "a\xc2\xa0"
         "b\xe3\x80\x80",
         "a\\u00a0b\\u3000"},
        {"a few spaces stay, a run is counted", "a   b     c", "a   b\\x20{5}c"},
        {"invalid UTF-8, overlong and surrogate forms", "\xff\xc0\xaf\xed\xa0\x80",
         "\\xff\\xc0\\xaf\\xed\\xa0\\x80"},
        {"a sequence cut short at the end", "ok\xe2\x82", "ok\\xe2\\x82"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Kelvor::Log::Escape(c.text), c.escaped) << c.name;
    }
    EXPECT_TRUE(Kelvor::Log::IsHidden(0x110000));
    EXPECT_FALSE(Kelvor::Log::IsHidden(U'a'));
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
    for (std::string line; std::getline(lines, line);) {
        ++seen[line];
    }
    // Only whole lines: each of the records comes once from every thread.
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kTargets)) << written.substr(0, 2000);
    for (const auto& [line, times] : seen) {
        EXPECT_EQ(times, kThreads) << line;
    }
}

}  // namespace
