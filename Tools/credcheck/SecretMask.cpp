#include "SecretMask.h"

#include <algorithm>
#include <deque>

namespace credcheck {

secret_mask::secret_mask() : nodes_(1) {}

secret_mask::secret_mask(const std::vector<std::string>& secrets) : nodes_(1) {
    // The trie of every secret long enough to mask.
    for (const std::string& secret : secrets) {
        if (secret.size() < MIN_MASKED_LENGTH) {
            continue;
        }
        std::uint32_t at = 0;
        for (const char c : secret) {
            const auto byte = static_cast<unsigned char>(c);
            std::uint32_t next = child(at, byte);
            if (next == 0) {
                next = static_cast<std::uint32_t>(nodes_.size());
                node added;
                added.byte = byte;
                added.next_sibling = nodes_[at].first_child;
                nodes_.push_back(added);
                nodes_[at].first_child = next;
                edges_.emplace(std::uint64_t{at} << 8 | byte, next);
            }
            at = next;
        }
        nodes_[at].longest = static_cast<std::uint32_t>(secret.size());
    }
    // Failure links, breadth first: a node's link is found from its parent's.
    std::deque<std::uint32_t> queue;
    for (std::uint32_t c = nodes_[0].first_child; c != 0; c = nodes_[c].next_sibling) {
        queue.push_back(c);
    }
    while (!queue.empty()) {
        const std::uint32_t parent = queue.front();
        queue.pop_front();
        for (std::uint32_t c = nodes_[parent].first_child; c != 0; c = nodes_[c].next_sibling) {
            nodes_[c].fail = step(nodes_[parent].fail, nodes_[c].byte);
            nodes_[c].longest = std::max(nodes_[c].longest, nodes_[nodes_[c].fail].longest);
            queue.push_back(c);
        }
    }
}

std::uint32_t secret_mask::child(std::uint32_t parent, unsigned char byte) const {
    const auto edge = edges_.find(std::uint64_t{parent} << 8 | byte);
    return edge == edges_.end() ? 0 : edge->second;
}

// The state after reading `byte` in `state`: the longest suffix of what was read that is a
// prefix of a secret.
std::uint32_t secret_mask::step(std::uint32_t state, unsigned char byte) const {
    for (;;) {
        if (const std::uint32_t next = child(state, byte); next != 0) {
            return next;
        }
        if (state == 0) {
            return 0;
        }
        state = nodes_[state].fail;
    }
}

std::vector<secret_mask::span> secret_mask::find(std::string_view text) const {
    std::vector<span> spans;
    if (empty()) {
        return spans;
    }
    std::uint32_t state = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        state = step(state, static_cast<unsigned char>(text[i]));
        const std::size_t length = nodes_[state].longest;
        if (length == 0) {
            continue;
        }
        span found{i + 1 - length, i + 1};
        // A longer secret ending here may reach back over ranges already found.
        while (!spans.empty() && found.first <= spans.back().second) {
            found.first = std::min(found.first, spans.back().first);
            spans.pop_back();
        }
        spans.push_back(found);
    }
    return spans;
}

std::string secret_mask::apply(std::string_view text) const {
    const std::vector<span> spans = find(text);
    if (spans.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    for (const auto& [begin, end] : spans) {
        out.append(text, at, begin - at);
        out += PASSWORD_MASK;
        at = end;
    }
    out.append(text, at, std::string_view::npos);
    return out;
}

}  // namespace credcheck
