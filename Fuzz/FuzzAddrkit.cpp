// Kelvor::Addrkit::spread_scope_ip on arbitrary scope texts.
//
// Checked on every input:
// - false leaves the vector exactly as it was (it is pre-filled);
// - true keeps the pre-filled entries in front and appends 1 to 65,536 entries, each an IPv4 or
//   IPv6 text in the C library's canonical form or an RFC 1123 host name; IPv4 entries of one
//   scope ascend strictly and no entry repeats;
// - a scope that is empty or holds whitespace or any byte outside printable ASCII is rejected.
// Checked where the scope has one of the accepted forms, by rules worked out here:
// - a single IPv4 or IPv6 address (bare or bracketed) gives that address, canonical;
// - an IPv4 range or CIDR block gives exactly its addresses, ascending, or is rejected when it
//   is reversed or stands for more than 65,536 addresses;
// - a plain host name gives itself; a host-name range gives exactly its numbered names.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <Kelvor/Addrkit.h>

#include "FuzzSupport.h"

namespace {

using namespace fuzz_support;

constexpr std::uint64_t max_scope_size = 65536;

// What a scope must expand to, worked out independently of Addrkit.
struct Expectation {
    bool accepted;
    std::vector<std::string> addresses;  // when accepted
};

std::string ipv4_text(std::uint32_t value) {
    in_addr address{};
    address.s_addr = htonl(value);
    char buffer[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, buffer, sizeof buffer);
    return buffer;
}

bool all_digits(std::string_view text) {
    for (char c : text) {
        if (!is_ascii_digit(c)) {
            return false;
        }
    }
    return true;
}

// 1 to max_digits decimal digits without a leading zero.
std::optional<std::uint32_t> plain_decimal(std::string_view text, std::size_t max_digits) {
    if (text.empty() || text.size() > max_digits || !all_digits(text) ||
        (text.size() > 1 && text[0] == '0')) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

Expectation ipv4_span(std::uint64_t first, std::uint64_t last) {
    if (first > last || last - first + 1 > max_scope_size) {
        return {false, {}};
    }
    Expectation expected{true, {}};
    for (std::uint64_t value = first; value <= last; ++value) {
        expected.addresses.push_back(ipv4_text(static_cast<std::uint32_t>(value)));
    }
    return expected;
}

// "a.b.c.d-e.f.g.h" and "a.b.c.d-n".
std::optional<Expectation> expect_ipv4_range(const std::string& scope) {
    const std::size_t dash = scope.find('-');
    if (dash == std::string::npos) {
        return std::nullopt;
    }
    const auto first = ipv4_value(scope.substr(0, dash));
    if (!first) {
        return std::nullopt;
    }
    const std::string tail = scope.substr(dash + 1);
    if (const auto last = ipv4_value(tail)) {
        return ipv4_span(*first, *last);
    }
    if (const auto octet = plain_decimal(tail, 3); octet && *octet <= 255) {
        return ipv4_span(*first, (*first & 0xffffff00u) | *octet);
    }
    return std::nullopt;
}

// "a.b.c.d/p" with the network address of the block.
std::optional<Expectation> expect_ipv4_block(const std::string& scope) {
    const std::size_t slash = scope.find('/');
    if (slash == std::string::npos) {
        return std::nullopt;
    }
    const auto network = ipv4_value(scope.substr(0, slash));
    const auto prefix = plain_decimal(std::string_view(scope).substr(slash + 1), 2);
    if (!network || !prefix || *prefix > 32) {
        return std::nullopt;
    }
    const std::uint64_t size = std::uint64_t{1} << (32 - *prefix);
    if (*network % size != 0) {
        return std::nullopt;  // host bits set: no promise either way
    }
    const std::uint64_t first = *network;
    const std::uint64_t last = first + size - 1;
    if (*prefix >= 31) {
        return ipv4_span(first, last);
    }
    return ipv4_span(first + 1, last - 1);
}

// The last label reads as a number (all digits, or "0x" and hex digits): resolvers would take
// such a name for an address, so no promise is made for it.
bool last_label_numeric(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    const std::string_view label = dot == std::string_view::npos ? name : name.substr(dot + 1);
    if (label.size() >= 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X')) {
        for (char c : label.substr(2)) {
            if (!is_ascii_digit(c) && !((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
                return false;
            }
        }
        return true;
    }
    return all_digits(label);
}

bool usable_host_name(std::string_view name) {
    return is_host_name(name) && !last_label_numeric(name);
}

// "head[first-last]tail".
std::optional<Expectation> expect_host_name_range(const std::string& scope) {
    const std::size_t open = scope.find('[');
    const std::size_t close = scope.find(']');
    if (open == std::string::npos || close == std::string::npos || close < open ||
        scope.find('[', open + 1) != std::string::npos ||
        scope.find(']', close + 1) != std::string::npos) {
        return std::nullopt;
    }
    const std::string bounds = scope.substr(open + 1, close - open - 1);
    const std::size_t dash = bounds.find('-');
    if (dash == std::string::npos) {
        return std::nullopt;
    }
    const std::string first_text = bounds.substr(0, dash);
    const std::string last_text = bounds.substr(dash + 1);
    // Bounds of any length are accepted; this oracle checks those that fit in 64 bits.
    if (first_text.empty() || last_text.empty() || first_text.size() > 18 ||
        last_text.size() > 18 || !all_digits(first_text) || !all_digits(last_text)) {
        return std::nullopt;
    }
    const bool padded = first_text.size() > 1 && first_text[0] == '0';
    if (!padded && last_text.size() > 1 && last_text[0] == '0') {
        return std::nullopt;  // a zero-led last bound without a zero-led first: no promise
    }
    const std::uint64_t first = std::stoull(first_text);
    const std::uint64_t last = std::stoull(last_text);
    if (first > last || last - first + 1 > max_scope_size) {
        return Expectation{false, {}};
    }
    const std::string head = scope.substr(0, open);
    const std::string tail = scope.substr(close + 1);
    Expectation expected{true, {}};
    for (std::uint64_t number = first; number <= last; ++number) {
        std::string digits = std::to_string(number);
        if (padded && digits.size() < first_text.size()) {
            digits.insert(0, first_text.size() - digits.size(), '0');
        }
        std::string name = head + digits + tail;
        if (!usable_host_name(name)) {
            return Expectation{false, {}};  // every generated name must be a valid host name
        }
        expected.addresses.push_back(std::move(name));
    }
    return expected;
}

// What `scope` must give, when it has a form whose outcome is fixed.
std::optional<Expectation> expectation_for(const std::string& scope) {
    if (is_ipv4_text(scope)) {
        return Expectation{true, {scope}};
    }
    std::string inner = scope;
    if (scope.size() >= 2 && scope.front() == '[' && scope.back() == ']') {
        inner = scope.substr(1, scope.size() - 2);
    }
    if (is_ipv6_text(inner)) {
        return Expectation{true, {canonical_address(AF_INET6, inner)}};
    }
    if (auto range = expect_ipv4_range(scope)) {
        return range;
    }
    if (auto block = expect_ipv4_block(scope)) {
        return block;
    }
    if (usable_host_name(scope)) {
        return Expectation{true, {scope}};
    }
    return expect_host_name_range(scope);
}

bool visible_ascii(std::string_view scope) {
    for (char c : scope) {
        if (c <= ' ' || c >= '\x7f') {
            return false;
        }
    }
    return true;
}

void check_entry(const std::string& entry) {
    require(!has_nul(entry));
    if (is_ipv4_text(entry)) {
        require(canonical_address(AF_INET, entry) == entry);
    } else if (is_ipv6_text(entry)) {
        require(canonical_address(AF_INET6, entry) == entry);
    } else {
        require(is_host_name(entry));
    }
}

// Runs one scope against a pre-filled vector and checks the general promises. Returns the
// entries appended, or nullopt when the scope was rejected.
std::optional<std::vector<std::string>> spread_and_check(const std::string& scope) {
    const std::vector<std::string> prefilled = {"prefilled.example", "192.0.2.1"};
    std::vector<std::string> addresses = prefilled;
    const bool accepted = Kelvor::Addrkit::spread_scope_ip(scope, addresses);

    if (scope.empty() || !visible_ascii(scope)) {
        require(!accepted);
    }
    if (!accepted) {
        require(addresses == prefilled);
        return std::nullopt;
    }
    require(addresses.size() > prefilled.size());
    require(std::equal(prefilled.begin(), prefilled.end(), addresses.begin()));
    std::vector<std::string> added(
        addresses.begin() + static_cast<std::ptrdiff_t>(prefilled.size()), addresses.end());
    require(added.size() >= 1 && added.size() <= max_scope_size);

    std::optional<std::uint32_t> previous_ipv4;
    for (const std::string& entry : added) {
        check_entry(entry);
        if (const auto value = ipv4_value(entry)) {
            require(!previous_ipv4 || *previous_ipv4 < *value);
            previous_ipv4 = value;
        }
    }
    if (added.size() > 1) {
        const std::set<std::string> distinct(added.begin(), added.end());
        require(distinct.size() == added.size());
    }
    return added;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string scope(reinterpret_cast<const char*>(data), size);
    const auto added = spread_and_check(scope);

    if (const auto expected = expectation_for(scope)) {
        require(added.has_value() == expected->accepted);
        if (added) {
            require(*added == expected->addresses);
        }
    }

    // A bare IPv6 address and its bracketed form are the same scope.
    if (is_ipv6_text(scope)) {
        require(spread_and_check("[" + scope + "]") == added);
    }
    return 0;
}
