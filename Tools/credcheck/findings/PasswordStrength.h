#pragma once
// zxcvbn-c's estimate of how many guesses a password takes, and the patterns it found in it.

#include <string>
#include <string_view>
#include <vector>

namespace credcheck {

/// The bits of guessing a password takes (log2 of the guesses) and the patterns that made them
/// few, as zxcvbn-c estimates them.
struct password_strength {
    double bits = 0;
    /// The patterns found, first found first, each once: "a common password or word", "the
    /// entry's own names", "a date", "a sequence", "a repeat", "a keyboard walk"; none for a
    /// password guessed only character by character.
    std::vector<std::string_view> patterns;
};

/// How strong `password` is against an attacker who knows `own_words` too (the entry's user,
/// alias and host-name labels). zxcvbn-c takes C strings, so a password holding a NUL is judged
/// in the pieces between its NULs, whose bits add up. zxcvbn-c bounds its own work on a long
/// password. The copies made on the heap are wiped; zxcvbn-c's frames are the caller's to burn.
/// Throws std::bad_alloc.
password_strength estimate_strength(std::string_view password,
                                    const std::vector<std::string_view>& own_words);

/// log2 of 10^10: a password that takes fewer guesses is weak by default.
inline constexpr double DEFAULT_MIN_PASSWORD_BITS = 33.22;

}  // namespace credcheck
