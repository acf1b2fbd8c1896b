#include <Kelvor/Log.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

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

// "[level] file:line text" and a line end. The text may quote a credential file, so its control
// characters (C0, DEL, and C1 as UTF-8 writes them) are written as \xNN and \u00NN: a record
// can neither break its line nor reach a terminal as a command.
std::string record_line(const LogRecord& record) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string line = "[" + std::to_string(record.level) + "] " + record.file + ":" +
                       std::to_string(record.line) + " ";
    line.reserve(line.size() + record.text.size() + 1);
    const std::string& text = record.text;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c < 0x20 || c == 0x7f) {
            line += "\\x";
            line += hex[c >> 4];
            line += hex[c & 0xf];
        } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {
            line += "\\u00";
            line += hex[next >> 4];
            line += hex[next & 0xf];
            ++i;
        } else {
            line += static_cast<char>(c);
        }
    }
    line += '\n';
    return line;
}

// One write per line (more only if the system takes a line in parts), one line at a time, so
// that records from several threads never interleave.
void write_to_stderr(const LogRecord& record) {
    if (record.level > default_threshold()) {
        return;
    }
    const std::string line = record_line(record);
    static std::mutex writing;
    const std::lock_guard<std::mutex> lock(writing);
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t written = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // standard error is gone: the record is lost, the program goes on
        }
        done += static_cast<std::size_t>(written);
    }
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
