#pragma once
// Text from a credential file or the command line, made safe to show: on a terminal, where a
// control character could move the cursor, retitle the window or forge a line, and in JSON,
// which must stay valid UTF-8 whatever bytes the file holds.

#include <cstddef>
#include <string>
#include <string_view>

namespace credcheck {

/// `text` with every character that a terminal would act on, or that a reader could not see,
/// written as a visible escape: "\n", "\r", "\t", "\x1b" for other C0 controls and DEL, "\x.."
/// for each byte that is not part of valid UTF-8, "\u0085" for C1 controls and for the format
/// characters that reorder or hide text (bidirectional overrides, zero-width characters). A
/// backslash becomes "\\", so every escape reads one way. Printable ASCII and other valid UTF-8
/// stay as they are. Throws std::bad_alloc.
std::string terminal_text(std::string_view text);

/// The number of characters (code points) that `terminal_text` output takes on a line. Never
/// throws.
std::size_t terminal_width(std::string_view shown);

/// `text` as a JSON string literal, quotes included, that is valid UTF-8 and holds no raw
/// control character: the JSON escapes for '"', '\' and C0 controls, "\u007f" for DEL, "\u...."
/// for C1 controls and the format characters above, and U+FFFD for each byte that is not part of
/// valid UTF-8. Throws std::bad_alloc.
std::string json_quoted(std::string_view text);

}  // namespace credcheck
