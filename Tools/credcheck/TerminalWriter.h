#pragma once
// Lines for a terminal, made safe whatever text goes into them.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "SecretMask.h"

namespace credcheck {

/// How a piece of a line looks when colours are on.
enum class style { plain, heading, good, bad, warning, dim };

/// Writes a report line by line. A line is put together from pieces; when it ends, every
/// secret of the mask that occurs anywhere in it (within a piece or across pieces) is replaced
/// by PASSWORD_MASK, every piece is escaped for the terminal (terminal_text), the escaped line is
/// masked once more (an escape can spell a secret too), and only then are colours added. So no
/// text can reach the terminal raw, and no secret can reach it at all.
class terminal_writer {
public:
    /// `colour` adds ANSI colours by style. `mask` must outlive the writer.
    terminal_writer(std::ostream& out, const secret_mask& mask, bool colour);

    /// Adds `text` to the current line.
    terminal_writer& operator()(std::string_view text, style look = style::plain);
    /// Adds spaces until the current line is `column` characters wide, and at least `minimum`.
    terminal_writer& pad_to(std::size_t column, std::size_t minimum = 0);
    /// Ends the current line and writes it.
    void end_line();

    /// How wide `text` would be on a line: its escaped length in characters.
    static std::size_t width_of(std::string_view text);

private:
    struct piece {
        std::string text;
        style look;
        std::size_t padding = 0;  // spaces of the writer's own before the text
    };

    // The pieces with the secrets found across them masked; uncovered text goes through
    // `transform` (escaping, or nothing).
    template <class Transform>
    std::vector<piece> masked(const std::vector<piece>& pieces, Transform transform) const;

    std::ostream& out_;
    const secret_mask& mask_;
    bool colour_;
    std::vector<piece> line_;
    std::size_t width_ = 0;
};

}  // namespace credcheck
