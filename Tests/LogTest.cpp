// The logging stand-in: records reach the sink when they end, SetSink swaps the process-wide
// sink, and the default sink writes the severe levels to standard error.

#include <gtest/gtest.h>

#include <Kelvor/Log.h>

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

TEST(Log, EmptySinkRestoresTheDefaultThreshold) {
    Kelvor::LogSink original = Kelvor::Log::SetSink(nullptr);
    testing::internal::CaptureStderr();
    Kelvor::Log(1, "a.cpp", 3).Stream() << "severe";
    Kelvor::Log(4, "a.cpp", 4).Stream() << "trace";
    const std::string written = testing::internal::GetCapturedStderr();
    Kelvor::Log::SetSink(std::move(original));
    EXPECT_NE(written.find("a.cpp:3 severe"), std::string::npos) << written;
    EXPECT_EQ(written.find("trace"), std::string::npos) << written;
}

}  // namespace
