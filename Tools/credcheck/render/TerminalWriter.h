#pragma once
// Lines for a terminal, made safe whatever text goes into them.

#include <cstddef>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "text/ReportText.h"
#include "text/SecretMask.h"

namespace credcheck {

/// How a piece of a line looks when colours are on.
enum class style { plain, heading, good, bad, warning, dim };

/// Thrown when the output cannot be written (a full disk, a pipe closed by its reader), so that
/// a report stops at once instead of going on for nobody.
class output_failed : public std::runtime_error {
public:
    output_failed() : std::runtime_error("the output cannot be written") {}
};

/// Writes a report line by line. A line is put together from pieces: the tool's own words go in
/// as they are; the file's text is escaped for the terminal (terminal_text) with its passwords
/// masked before and after escaping (masked_text); a key is escaped with its user whole and its
/// host masked (masked_key). Colours go around the shown text. So no text of the file can reach
/// the terminal raw, no password of the file can reach it but as a user name, and no password
/// can hide the tool's own words.
class terminal_writer {
public:
    /// `colour` adds ANSI colours by style. `mask` must outlive the writer.
    terminal_writer(std::ostream& out, const secret_mask& mask, bool colour);

    /// Adds the tool's own words.
    terminal_writer& operator()(std::string_view own, style look = style::plain);
    /// Adds text of the file or the command line.
    terminal_writer& file(std::string_view text, style look = style::plain);
    /// Adds a key.
    terminal_writer& key(std::string_view text, style look = style::plain);
    /// Adds a sentence, each piece as its origin says.
    terminal_writer& operator()(const report_text& text, style look = style::plain);
    /// Adds spaces until the current line is `column` columns wide, and at least `minimum`.
    terminal_writer& pad_to(std::size_t column, std::size_t minimum = 0);
    /// Ends the current line and writes it. Throws output_failed when the output has failed.
    void end_line();

    /// How wide `text` would be on a line once escaped, as a key or (unmasked) file text.
    static std::size_t width_of(std::string_view text);

private:
    terminal_writer& shown(const std::string& text, style look);

    std::ostream& out_;
    const secret_mask& mask_;
    bool colour_;
    std::string line_;
    std::size_t width_ = 0;
};

/// `text` as a line of the terminal shows it, without colours or the line end: for formats that
/// put a sentence inside a line of their own.
std::string shown_line(const report_text& text, const secret_mask& mask);

}  // namespace credcheck
