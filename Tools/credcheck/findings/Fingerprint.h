#pragma once
// Keyed digests of passwords: what lets a baseline tell a changed password from the one it
// accepted, and two runs on two machines tell whether they saw the same password, without
// showing it. BLAKE2b keyed with a 32-byte key (libsodium's crypto_generichash): without the key
// the digest tells a dictionary nothing, as an unkeyed or salted hash would.

#include <array>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace credcheck {

/// The environment variable that may hold the key, as 64 hex digits.
inline constexpr const char* FINGERPRINT_KEY_VARIABLE = "CREDCHECK_FINGERPRINT_KEY";

/// A key that cannot be read or is no key: what is wrong, in words.
struct fingerprint_key_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// A 32-byte key, wiped when it goes.
class fingerprint_key {
public:
    static constexpr std::size_t BYTES = 32;

    /// The key in `text`: 64 hex digits, with white space around them. Throws
    /// fingerprint_key_error.
    static fingerprint_key from_hex(std::string_view text);
    /// The key in the file at `path`: 64 hex digits, or 32 bytes as they are. Throws
    /// fingerprint_key_error.
    static fingerprint_key from_file(const std::string& path);

    fingerprint_key(const fingerprint_key& other);
    fingerprint_key& operator=(const fingerprint_key& other);
    ~fingerprint_key();

    /// The keyed digest of `password`, as 64 hex digits.
    std::string digest(std::string_view password) const;

private:
    fingerprint_key() = default;
    std::array<unsigned char, BYTES> bytes_{};
};

/// The key the command line names (`path`), else the one CREDCHECK_FINGERPRINT_KEY holds, else
/// none. Throws fingerprint_key_error.
std::optional<fingerprint_key> find_fingerprint_key(const std::optional<std::string>& path);

}  // namespace credcheck
