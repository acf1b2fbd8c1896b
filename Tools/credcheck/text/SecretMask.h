#pragma once
// Hiding a credential file's passwords wherever they turn up in the file's text that credcheck
// shows.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <PlainTextFileParser/detail/SecretMemory.h>

namespace credcheck {

/// The fixed mask shown for a password; it does not tell the password's length.
inline constexpr std::string_view PASSWORD_MASK = "********";

/// Passwords shorter than this are masked where they are a value of their own, but not inside
/// other text: there they would mask ordinary words and numbers.
inline constexpr std::size_t MIN_MASKED_LENGTH = 4;

/// Finds every occurrence of a set of secrets in a text at once, overlapping ones included.
///
/// Secrets are grouped by length into classes [w, 2w) for w = 4, 8, 16, ...; a text is hashed
/// once (polynomial hashes modulo 2^61 - 1, of a base drawn at random for each mask), and at
/// every place where the first four bytes of some secret stand, each class looks the hash of the
/// next w bytes up among the hashes of its secrets' first w bytes and, on a hit, the hash of each
/// candidate length among the secrets' whole hashes. So finding costs a few operations per byte of
/// text and class, however many secrets there are and however long they are, and the mask holds a
/// few words per secret, not per byte of secret. Two different texts with one hash (never seen in
/// practice, and never under a file's control since the base is drawn when the tool runs) can only
/// mask more, never less. An empty set masks nothing. Not to be used from several threads at once.
///
/// A mask keeps no secret, but its hashes, with the base, would let a short one be guessed: they
/// are wiped when their storage is given back.
class secret_mask {
public:
    /// A byte range [begin, end) of a text.
    using span = std::pair<std::size_t, std::size_t>;

    secret_mask() = default;
    /// Masks the secrets of `secrets` that have at least MIN_MASKED_LENGTH bytes, and knows the
    /// shorter ones as whole values (is_secret). Throws
    /// std::bad_alloc.
    explicit secret_mask(const std::vector<std::string_view>& secrets);
    explicit secret_mask(const std::vector<std::string>& secrets);
    explicit secret_mask(std::initializer_list<std::string_view> secrets)
        : secret_mask(std::vector<std::string_view>(secrets)) {}

    /// A mask that takes every text for a secret: what is left of a report shown with it is the
    /// report's own words and the users of its keys, which no password of the file can change.
    static secret_mask all_text();
    bool masks_all_text() const { return all_text_; }

    bool empty() const { return classes_.empty() && !all_text_; }

    /// Whether `text` is, whole, one of the secrets, however short. An all-text mask knows no
    /// secret by value.
    bool is_secret(std::string_view text) const;

    /// The ranges of `text` that lie in an occurrence of a secret, in order, with overlapping
    /// and touching ranges merged. Throws std::bad_alloc.
    std::vector<span> find(std::string_view text) const;

    /// Every occurrence of a secret in `text`, in order of where it begins: the longest secret
    /// of each length class that begins there. Throws std::bad_alloc.
    std::vector<span> occurrences(std::string_view text) const;

    /// `text` with each range that `find` reports replaced by PASSWORD_MASK. Throws
    /// std::bad_alloc.
    std::string apply(std::string_view text) const;

private:
    std::uint64_t whole_hash(std::string_view text) const;

    template <class T>
    using wiped_vector = std::vector<T, plain_text_detail::wiping_allocator<T>>;

    // A secret's length, the hash of its first `window` bytes, and base^length.
    struct candidate {
        std::uint64_t prefix_hash;
        std::size_t length;
        std::uint64_t power;
    };
    // The secrets of lengths [window, 2 * window).
    struct length_class {
        std::size_t window = 0;
        std::uint64_t window_power = 0;
        wiped_vector<std::uint64_t> filter;  // a bit per prefix hash, most windows miss here
        wiped_vector<candidate> candidates;  // by prefix hash, then length
    };

    bool all_text_ = false;
    std::uint64_t base_ = 0;
    // A bit per hash of the first MIN_MASKED_LENGTH bytes of the secrets: a text in which no
    // such four bytes stand holds no secret, and is passed over without hashing it.
    wiped_vector<std::uint64_t> heads_;
    std::vector<length_class> classes_;    // by window
    wiped_vector<std::uint64_t> secrets_;  // (length, hash) of every secret, sorted
    std::size_t shortest_ = 0;
    mutable wiped_vector<std::uint64_t> prefix_;  // hashes of a text's prefixes, reused
    mutable std::vector<std::size_t> starts_;     // where a secret's head stands in a text, reused
};

}  // namespace credcheck
