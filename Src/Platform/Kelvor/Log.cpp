#include <Kelvor/Log.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace Kelvor {
namespace {

unsigned default_threshold() {
    static const unsigned threshold = [] {
        const char* text = std::getenv("KELVOR_LOG_LEVEL");
        if (text == nullptr || *text == '\0') {
            return 3u;
        }
        char* end = nullptr;
        const unsigned long value = std::strtoul(text, &end, 10);
        return *end == '\0' ? static_cast<unsigned>(value) : 3u;
    }();
    return threshold;
}

void write_to_stderr(const LogRecord& record) {
    if (record.level > default_threshold()) {
        return;
    }
    std::fprintf(stderr, "[%u] %s:%d ", record.level, record.file.c_str(), record.line);
    std::fwrite(record.text.data(), 1, record.text.size(), stderr);
    std::fputc('\n', stderr);
}

struct SinkSlot {
    std::mutex mutex;
    LogSink sink;
};

SinkSlot& sink_slot() {
    static SinkSlot slot;
    return slot;
}

LogSink current_sink() {
    SinkSlot& slot = sink_slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.sink;
}

}  // namespace

Log::Log(unsigned level, const char* file, int line) : level_(level), file_(file), line_(line) {}

Log::~Log() {
    try {
        LogRecord record{level_, file_ != nullptr ? file_ : "", line_, stream_.str()};
        if (LogSink sink = current_sink()) {
            sink(record);
        } else {
            write_to_stderr(record);
        }
    } catch (...) {
        // A record that cannot be delivered is lost; the program goes on.
    }
}

std::ostringstream& Log::Stream() {
    return stream_;
}

LogSink Log::SetSink(LogSink sink) {
    SinkSlot& slot = sink_slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.sink.swap(sink);
    return sink;
}

}  // namespace Kelvor
