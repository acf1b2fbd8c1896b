#pragma once
// Log records of the tool family.
//
// A record is a local `Log` object: construct it with a level, the source file and the line,
// write the text to `Stream()`, and let it go out of scope; its destructor hands the finished
// record to the process-wide sink.
//
//     {
//         Kelvor::Log record(4, __FILE__, __LINE__);
//         record.Stream() << "Enter " << name;
//     }

#include <functional>
#include <sstream>
#include <string>
#include <string_view>

#include <Kelvor/KelvorLogExport.h>

namespace Kelvor {

/// A finished log record, as a sink receives it.
struct LogRecord {
    /// Severity: 1 is the most severe; larger numbers are more detailed traces.
    unsigned level;
    /// Source file of the statement that wrote the record, as the build names it.
    std::string file;
    /// Source line of that statement.
    int line;
    /// The text written to the record's stream.
    std::string text;
};

/// Receives every finished record of the process.
using LogSink = std::function<void(const LogRecord&)>;

/// One log record, emitted when the object is destroyed.
class KELVORLOG_EXPORT Log {
public:
    /// Opens a record of `level` for the statement at `file`:`line`. Throws std::bad_alloc.
    Log(unsigned level, const char* file, int line);
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    /// Emits the record to the current sink. An exception thrown by the sink is swallowed.
    virtual ~Log();

    /// The record's text stream. Never throws.
    std::ostringstream& Stream();

    /// Makes `sink` the process-wide sink and returns the previous one. An empty sink restores
    /// the default, which writes each record as one line, "[level] file:line text", in one write
    /// to standard error (records of several threads never interleave), with the text as Escape
    /// writes it, for the levels up to the threshold: 3, unless the environment variable
    /// KELVOR_LOG_LEVEL holds another number when the first record is emitted. Safe to call from
    /// any thread. Throws std::bad_alloc.
    static LogSink SetSink(LogSink sink);

    /// `text` made safe to show on a terminal, as the default sink writes a record's text: every
    /// character that a terminal would act on, or that a reader could not see, becomes a visible
    /// escape. "\n", "\r" and "\t"; "\x1b" for the other C0 controls and DEL; "\x.." for each
    /// byte that is not part of valid UTF-8; "\u0085" (or "\U000e0001") for every code point
    /// that Unicode's tables call a control, format character (the bidirectional overrides and
    /// isolates, zero-width characters), line or paragraph separator, unassigned, private use or
    /// default-ignorable (U+00AD, U+034F, U+3164, ...), for the blank Braille pattern U+2800,
    /// and for spaces other than U+0020; a run
    /// of more than three spaces as "\x20{N}". A backslash becomes "\\", so that every escape
    /// reads one way. Other text stays as it is. Throws std::bad_alloc.
    static std::string Escape(std::string_view text);

    /// Whether Escape writes `code_point` as an escape: one that a terminal acts on or that does
    /// not show as itself (see Escape). Never throws.
    static bool IsHidden(char32_t code_point) noexcept;

private:
    unsigned level_;
    const char* file_;
    int line_;
    std::ostringstream stream_;
};

}  // namespace Kelvor
