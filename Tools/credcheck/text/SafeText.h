#pragma once
// Text from a credential file or the command line, made safe to show: on a terminal, where a
// control character could move the cursor, retitle the window or forge a line, and a format
// character could hide or reorder text, and in JSON, which must stay valid UTF-8 whatever bytes
// the file holds.

#include <cstddef>
#include <string>
#include <string_view>

#include "text/SecretMask.h"

namespace credcheck {

/// `text` as the tool family's log writes text for a terminal (Kelvor::Log::Escape): every
/// character that a terminal would act on, or that a reader could not see, written as a visible
/// escape ("\n", "\x1b", "\xff" for a byte that is not UTF-8, "\u202e" for a bidirectional
/// override, "\u00ad" for a default-ignorable code point, "\x20{40}" for a run of spaces), and a
/// backslash as "\\", so that every escape reads one way. Throws std::bad_alloc.
std::string terminal_text(std::string_view text);

/// The number of columns that `shown`, valid UTF-8 such as terminal_text writes, takes on a
/// terminal: wide characters count two. Never throws.
std::size_t terminal_width(std::string_view shown);

/// The number of columns that `text` takes once terminal_text has escaped it. Throws
/// std::bad_alloc.
std::size_t shown_width(std::string_view text);

/// `text` as the inside of a JSON string literal that is valid UTF-8 and holds no raw control
/// character: the JSON escapes for '"', '\' and C0 controls, "\u...." (a surrogate pair above
/// the basic plane) for every other code point that terminal_text escapes, and U+FFFD for each
/// byte that is not part of valid UTF-8. Throws std::bad_alloc.
std::string json_escaped(std::string_view text);

/// json_escaped in quotes: a JSON string literal. Throws std::bad_alloc.
std::string json_quoted(std::string_view text);

/// `key`, a key of the map, as a report shows it: its user escaped with `escape` (or masked, when
/// it is a password of the file), its "@" and host as masked_text shows them (and the whole key
/// so, where a password reaches over the "@"). Throws std::bad_alloc.
std::string masked_key(std::string_view key, const secret_mask& mask,
                       std::string (*escape)(std::string_view));

/// `text` of the file as a report shows it: each occurrence of a secret of `mask` replaced by
/// PASSWORD_MASK, the rest written as `escape` writes it, and the result masked once more, since
/// an escape can spell a password too ("\n" for a line end, where a password holds a backslash
/// and an "n"). Throws std::bad_alloc.
std::string masked_text(std::string_view text, const secret_mask& mask,
                        std::string (*escape)(std::string_view));

}  // namespace credcheck
