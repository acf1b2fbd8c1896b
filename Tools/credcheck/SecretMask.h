#pragma once
// Hiding a credential file's passwords wherever they turn up in what credcheck prints.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace credcheck {

/// The fixed mask shown for a password; it does not tell the password's length.
inline constexpr std::string_view PASSWORD_MASK = "********";

/// Passwords shorter than this are masked where they are a value of their own, but not inside
/// other text: there they would mask ordinary words and numbers.
inline constexpr std::size_t MIN_MASKED_LENGTH = 4;

/// Finds every occurrence of a set of secrets in a text at once (Aho-Corasick over bytes), in
/// time linear in the text, however many secrets there are. An empty set masks nothing.
class secret_mask {
public:
    /// A byte range [begin, end) of a text.
    using span = std::pair<std::size_t, std::size_t>;

    secret_mask();
    /// Masks the secrets of `secrets` that have at least MIN_MASKED_LENGTH bytes. Throws
    /// std::bad_alloc.
    explicit secret_mask(const std::vector<std::string>& secrets);

    bool empty() const { return nodes_.size() == 1; }

    /// The ranges of `text` that lie in an occurrence of a secret, in order, with overlapping
    /// and touching ranges merged. Throws std::bad_alloc.
    std::vector<span> find(std::string_view text) const;

    /// `text` with each range that `find` reports replaced by PASSWORD_MASK. Throws
    /// std::bad_alloc.
    std::string apply(std::string_view text) const;

private:
    // A node of the trie of secrets; 0 is the root and never anybody's child.
    struct node {
        std::uint32_t first_child = 0;
        std::uint32_t next_sibling = 0;
        std::uint32_t fail = 0;     // the longest proper suffix of this node that is a node too
        std::uint32_t longest = 0;  // length of the longest secret that ends here
        unsigned char byte = 0;
    };

    std::uint32_t child(std::uint32_t parent, unsigned char byte) const;
    std::uint32_t step(std::uint32_t state, unsigned char byte) const;

    std::vector<node> nodes_;
    // Every edge of the trie, (parent << 8 | byte) to child: a search steps through one lookup
    // however many children a node has.
    std::unordered_map<std::uint64_t, std::uint32_t> edges_;
};

}  // namespace credcheck
