#include "text/SecretMask.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace credcheck {

namespace {

constexpr std::uint64_t MODULUS = (std::uint64_t{1} << 61) - 1;

__extension__ typedef unsigned __int128 wide;

std::uint64_t reduce(wide value) {
    const std::uint64_t folded =
        static_cast<std::uint64_t>(value & MODULUS) + static_cast<std::uint64_t>(value >> 61);
    return folded >= MODULUS ? folded - MODULUS : folded;
}

std::uint64_t multiply(std::uint64_t a, std::uint64_t b) {
    return reduce(static_cast<wide>(a) * b);
}

std::uint64_t add(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t sum = a + b;
    return sum >= MODULUS ? sum - MODULUS : sum;
}

std::uint64_t subtract(std::uint64_t a, std::uint64_t b) {
    return a >= b ? a - b : a + MODULUS - b;
}

// The next prefix hash: every byte counts one more than its value, so that NUL bytes count too.
std::uint64_t extend(std::uint64_t hash, std::uint64_t base, char byte) {
    return add(multiply(hash, base), static_cast<unsigned char>(byte) + std::uint64_t{1});
}

std::uint64_t power(std::uint64_t base, std::size_t exponent) {
    std::uint64_t result = 1;
    for (; exponent > 0; exponent >>= 1) {
        if ((exponent & 1) != 0) {
            result = multiply(result, base);
        }
        base = multiply(base, base);
    }
    return result;
}

// One word for a secret: its length and its hash.
std::uint64_t secret_key(std::size_t length, std::uint64_t hash) {
    return hash ^ (static_cast<std::uint64_t>(length) * 0x9e3779b97f4a7c15ULL);
}

// The largest power of two not above `length`.
std::size_t window_of(std::size_t length) {
    std::size_t window = 1;
    while (window <= length / 2) {
        window *= 2;
    }
    return window;
}

std::size_t filter_bit(std::uint64_t hash, std::size_t bits) {
    return static_cast<std::size_t>(hash >> 3) & (bits - 1);
}

constexpr std::size_t HEAD_BITS = std::size_t{1} << 20;
static_assert(MIN_MASKED_LENGTH == sizeof(std::uint32_t), "a head is the first four bytes");

// The bit of the four bytes at `at` among HEAD_BITS.
std::size_t head_bit(const char* at) {
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, at, sizeof bytes);
    return static_cast<std::size_t>((bytes * 0x9e3779b1u) >> 12);
}

bool has_bit(const std::uint64_t* bits, std::size_t bit) {
    return (bits[bit / 64] & (std::uint64_t{1} << (bit % 64))) != 0;
}

}  // namespace

secret_mask::secret_mask(const std::vector<std::string>& secrets)
    : secret_mask(std::vector<std::string_view>(secrets.begin(), secrets.end())) {}

secret_mask::secret_mask(const std::vector<std::string_view>& secrets) {
    std::random_device seed;
    base_ = 256 + ((std::uint64_t{seed()} << 32 | seed()) % (MODULUS - 512));
    for (const std::string_view secret : secrets) {
        if (secret.size() < MIN_MASKED_LENGTH) {
            // Too short to look for inside text, but a whole value still: see is_secret.
            secrets_.push_back(secret_key(secret.size(), whole_hash(secret)));
            continue;
        }
        const std::size_t window = window_of(secret.size());
        auto found = std::find_if(classes_.begin(), classes_.end(),
                                  [&](const length_class& c) { return c.window == window; });
        if (found == classes_.end()) {
            found = classes_.insert(classes_.end(), length_class{});
            found->window = window;
            found->window_power = power(base_, window);
        }
        std::uint64_t hash = 0;
        std::uint64_t prefix_hash = 0;
        for (std::size_t i = 0; i < secret.size(); ++i) {
            hash = extend(hash, base_, secret[i]);
            if (i + 1 == window) {
                prefix_hash = hash;
            }
        }
        found->candidates.push_back({prefix_hash, secret.size(), power(base_, secret.size())});
        if (heads_.empty()) {
            heads_.assign(HEAD_BITS / 64, 0);
        }
        const std::size_t head = head_bit(secret.data());
        heads_[head / 64] |= std::uint64_t{1} << (head % 64);
        secrets_.push_back(secret_key(secret.size(), hash));
        shortest_ = shortest_ == 0 ? secret.size() : std::min(shortest_, secret.size());
    }
    std::sort(secrets_.begin(), secrets_.end());
    secrets_.erase(std::unique(secrets_.begin(), secrets_.end()), secrets_.end());
    std::sort(classes_.begin(), classes_.end(),
              [](const length_class& a, const length_class& b) { return a.window < b.window; });
    for (length_class& c : classes_) {
        std::sort(c.candidates.begin(), c.candidates.end(), [](const auto& a, const auto& b) {
            return a.prefix_hash != b.prefix_hash ? a.prefix_hash < b.prefix_hash
                                                  : a.length < b.length;
        });
        // Secrets that share their first `window` bytes and their length are one candidate:
        // the whole hash tells them apart. So a place where many such secrets could begin (a
        // fleet's passwords made from one pattern) costs a look-up per length, not per secret.
        c.candidates.erase(std::unique(c.candidates.begin(), c.candidates.end(),
                                       [](const candidate& a, const candidate& b) {
                                           return a.prefix_hash == b.prefix_hash &&
                                                  a.length == b.length;
                                       }),
                           c.candidates.end());
        std::size_t bits = 64;
        while (bits < 16 * c.candidates.size()) {
            bits *= 2;
        }
        c.filter.assign(bits / 64, 0);
        for (const candidate& entry : c.candidates) {
            const std::size_t bit = filter_bit(entry.prefix_hash, bits);
            c.filter[bit / 64] |= std::uint64_t{1} << (bit % 64);
        }
    }
}

std::uint64_t secret_mask::whole_hash(std::string_view text) const {
    std::uint64_t hash = 0;
    for (const char c : text) {
        hash = extend(hash, base_, c);
    }
    return hash;
}

bool secret_mask::is_secret(std::string_view text) const {
    return !text.empty() && std::binary_search(secrets_.begin(), secrets_.end(),
                                               secret_key(text.size(), whole_hash(text)));
}

secret_mask secret_mask::all_text() {
    secret_mask mask;
    mask.all_text_ = true;
    return mask;
}

std::vector<secret_mask::span> secret_mask::find(std::string_view text) const {
    // Overlapping and touching occurrences become one range.
    std::vector<span> merged;
    for (const span& occurrence : occurrences(text)) {
        if (!merged.empty() && occurrence.first <= merged.back().second) {
            merged.back().second = std::max(merged.back().second, occurrence.second);
        } else {
            merged.push_back(occurrence);
        }
    }
    return merged;
}

std::vector<secret_mask::span> secret_mask::occurrences(std::string_view text) const {
    std::vector<span> found;
    if (all_text_) {
        if (!text.empty()) {
            found.emplace_back(0, text.size());
        }
        return found;
    }
    if (empty() || text.size() < shortest_) {
        return found;
    }
    // A secret can only begin where the four bytes of one of the secrets' heads stand; most
    // texts have no such place, and the rest few.
    starts_.clear();
    for (std::size_t at = 0; at + MIN_MASKED_LENGTH <= text.size(); ++at) {
        if (has_bit(heads_.data(), head_bit(text.data() + at))) {
            starts_.push_back(at);
        }
    }
    if (starts_.empty()) {
        return found;
    }
    const std::size_t hashed = std::min(text.size(), starts_.back() + 2 * classes_.back().window);
    prefix_.resize(hashed + 1);
    prefix_[0] = 0;
    for (std::size_t i = 0; i < hashed; ++i) {
        prefix_[i + 1] = extend(prefix_[i], base_, text[i]);
    }
    // The hash of text[at, at + length), given base^length.
    const auto hash_of = [&](std::size_t at, std::size_t length, std::uint64_t power_of_length) {
        return subtract(prefix_[at + length], multiply(prefix_[at], power_of_length));
    };
    for (const length_class& c : classes_) {
        const std::size_t bits = c.filter.size() * 64;
        for (const std::size_t at : starts_) {
            if (at + c.window > hashed) {
                break;
            }
            const std::uint64_t prefix_hash = hash_of(at, c.window, c.window_power);
            const std::size_t bit = filter_bit(prefix_hash, bits);
            if ((c.filter[bit / 64] & (std::uint64_t{1} << (bit % 64))) == 0) {
                continue;
            }
            auto entry = std::lower_bound(
                c.candidates.begin(), c.candidates.end(), prefix_hash,
                [](const candidate& e, std::uint64_t wanted) { return e.prefix_hash < wanted; });
            std::size_t end = 0;
            for (; entry != c.candidates.end() && entry->prefix_hash == prefix_hash; ++entry) {
                if (at + entry->length <= hashed &&
                    std::binary_search(
                        secrets_.begin(), secrets_.end(),
                        secret_key(entry->length, hash_of(at, entry->length, entry->power)))) {
                    end = at + entry->length;
                }
            }
            if (end != 0) {
                found.emplace_back(at, end);
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
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
