#include <Kelvor/Log.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>

#include <utf8proc.h>

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

// "[level] file:line text" and a line end. The text may quote a credential file: written as
// Escape writes it, a record can neither break its line, nor reach a terminal as a command, nor
// hide or reorder what it says.
std::string record_line(const LogRecord& record) {
    return "[" + std::to_string(record.level) + "] " + record.file + ":" +
           std::to_string(record.line) + " " + Log::Escape(record.text) + "\n";
}

constexpr char HEX[] = "0123456789abcdef";

void append_hex(std::string& out, std::uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out += HEX[(value >> shift) & 0xfu];
    }
}

// More spaces in a row than this are written as a count: a run of them could push text onto a
// row of its own and pass for a line of its own.
constexpr std::size_t SPACES_SHOWN = 3;

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

bool Log::IsHidden(char32_t code_point) noexcept {
    if (code_point > 0x10ffff) {
        return true;
    }
    const utf8proc_property_t* property =
        utf8proc_get_property(static_cast<utf8proc_int32_t>(code_point));
    switch (property->category) {
        case UTF8PROC_CATEGORY_CC:  // C0 and C1 controls, DEL
        case UTF8PROC_CATEGORY_CF:  // format characters: bidi controls, zero-width characters
        case UTF8PROC_CATEGORY_ZL:
        case UTF8PROC_CATEGORY_ZP:
        case UTF8PROC_CATEGORY_CN:  // unassigned: shown as nothing, or as anybody's guess
        case UTF8PROC_CATEGORY_CS:
        case UTF8PROC_CATEGORY_CO:  // private use: each font's own, blank in most
            return true;
        case UTF8PROC_CATEGORY_ZS:  // a space that is not U+0020 passes for one
            return code_point != U' ';
        default:
            // Default-ignorable (U+034F, U+115F, U+3164, ...), and the blank Braille pattern, a
            // symbol that shows nothing.
            return property->ignorable || code_point == 0x2800;
    }
}

std::string Log::Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    for (std::size_t at = 0; at < text.size();) {
        // Most text is printable ASCII, which stays as it is: copied a run at a time.
        std::size_t plain = at;
        while (plain < text.size() && text[plain] > ' ' && text[plain] < 0x7f &&
               text[plain] != '\\') {
            ++plain;
        }
        if (plain > at) {
            out.append(text, at, plain - at);
            at = plain;
            continue;
        }
        utf8proc_int32_t code_point = 0;
        const utf8proc_ssize_t length = utf8proc_iterate(
            bytes + at, static_cast<utf8proc_ssize_t>(text.size() - at), &code_point);
        if (length <= 0) {
            out += "\\x";
            append_hex(out, bytes[at], 2);
            ++at;
            continue;
        }
        if (code_point == ' ') {
            const std::size_t end = std::min(text.find_first_not_of(' ', at), text.size());
            if (end - at > SPACES_SHOWN) {
                out += "\\x20{" + std::to_string(end - at) + "}";
            } else {
                out.append(end - at, ' ');
            }
            at = end;
            continue;
        }
        if (code_point == '\\') {
            out += "\\\\";
        } else if (code_point == '\n') {
            out += "\\n";
        } else if (code_point == '\r') {
            out += "\\r";
        } else if (code_point == '\t') {
            out += "\\t";
        } else if (code_point < 0x20 || code_point == 0x7f) {
            out += "\\x";
            append_hex(out, static_cast<std::uint32_t>(code_point), 2);
        } else if (IsHidden(static_cast<char32_t>(code_point))) {
            const bool wide = code_point > 0xffff;
            out += wide ? "\\U" : "\\u";
            append_hex(out, static_cast<std::uint32_t>(code_point), wide ? 8 : 4);
        } else {
            out.append(text, at, static_cast<std::size_t>(length));
        }
        at += static_cast<std::size_t>(length);
    }
    return out;
}

LogSink Log::SetSink(LogSink sink) {
    SinkSlot& slot = sink_slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.sink.swap(sink);
    return sink;
}

}  // namespace Kelvor
