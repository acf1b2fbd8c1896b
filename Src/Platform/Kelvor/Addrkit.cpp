#include <Kelvor/Addrkit.h>

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/address_v6.hpp>
#include <boost/asio/ip/network_v4.hpp>
#include <boost/system/error_code.hpp>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace Kelvor {
namespace {

namespace ip = boost::asio::ip;

// Largest number of entries one scope may expand to.
constexpr std::uint64_t max_scope_size = 65536;

constexpr std::size_t max_host_name_length = 253;
constexpr std::size_t max_label_length = 63;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool all_digits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), is_digit);
}

// Only printable, non-blank ASCII can appear in any accepted form. Checking
// this first also keeps embedded NULs away from the C-string based parsers.
bool is_visible_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < '\x7f'; });
}

bool has_leading_zero(std::string_view digits) {
    return digits.size() > 1 && digits[0] == '0';
}

// Value of 1..max_digits decimal digits, written without a leading zero.
std::optional<std::uint32_t> parse_decimal(std::string_view text, std::size_t max_digits) {
    if (text.empty() || text.size() > max_digits || !all_digits(text) || has_leading_zero(text))
        return std::nullopt;
    std::uint32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Dotted-decimal IPv4 address: exactly four octets, each 0 to 255 in
// decimal without a leading zero (a leading zero reads as octal to some
// tools, and not every C library's inet_pton refuses it).
// Read by hand rather than with inet_pton: the benchmarks show it pays (see the README).
std::optional<ip::address_v4> parse_ipv4(std::string_view text) {
    std::uint32_t value = 0;
    std::uint32_t octet = 0;
    std::size_t digits = 0;  // of the octet being read
    int dots = 0;
    for (const char c : text) {
        if (is_digit(c)) {
            if (digits == 1 && octet == 0)
                return std::nullopt;  // leading zero
            octet = octet * 10 + static_cast<std::uint32_t>(c - '0');
            if (++digits > 3 || octet > 255)
                return std::nullopt;
        } else if (c == '.' && digits > 0 && dots < 3) {
            value = value << 8 | octet;
            octet = 0;
            digits = 0;
            ++dots;
        } else {
            return std::nullopt;
        }
    }
    if (dots != 3 || digits == 0)
        return std::nullopt;
    return ip::address_v4(value << 8 | octet);
}

bool is_host_label(std::string_view label) {
    if (label.empty() || label.size() > max_label_length || label.front() == '-' ||
        label.back() == '-')
        return false;
    return std::all_of(label.begin(), label.end(),
                       [](char c) { return is_letter(c) || is_digit(c) || c == '-'; });
}

bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A last label that reads as a number ("1", "0x7f") makes resolvers take
// the whole name for an IPv4 address in one of the old loose notations, so
// "0x7f.0.0.1" or "bmc.01" would not reach the machine its author meant.
bool is_numeric_label(std::string_view label) {
    if (label.size() >= 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X'))
        return std::all_of(label.begin() + 2, label.end(), is_hex_digit);
    return all_digits(label);
}

// RFC 1123 host name. It needs a letter, and its last label must not be a
// number (RFC 1123 keeps top-level labels alphabetic for the same reason):
// a dotted number is a malformed address, never a name.
bool is_host_name(std::string_view name) {
    if (name.empty() || name.size() > max_host_name_length ||
        std::none_of(name.begin(), name.end(), is_letter))
        return false;
    std::size_t label_start = 0;
    for (;;) {
        const std::size_t dot = name.find('.', label_start);
        const std::size_t label_end = dot == std::string_view::npos ? name.size() : dot;
        const std::string_view label = name.substr(label_start, label_end - label_start);
        if (!is_host_label(label))
            return false;
        if (dot == std::string_view::npos)
            return !is_numeric_label(label);
        label_start = dot + 1;
    }
}

// Appends `count` entries, entry(i) for i = 0 .. count - 1. Either every
// entry is appended or, if an allocation fails, none is.
template <typename Entry>
void append_entries(std::vector<std::string>& out, std::uint64_t count, Entry entry) {
    const std::size_t old_size = out.size();
    try {
        const std::size_t wanted = old_size + static_cast<std::size_t>(count);
        // Grow geometrically so that many small scopes appended one after
        // another into the same vector stay linear overall.
        if (wanted > out.capacity())
            out.reserve(std::max(wanted, 2 * out.capacity()));
        for (std::uint64_t i = 0; i < count; ++i)
            out.push_back(entry(i));
    } catch (...) {
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(old_size), out.end());
        throw;
    }
}

// Dotted-decimal text of an IPv4 address, as inet_ntop writes it.
// Written by hand rather than with inet_ntop: the benchmarks show it pays (see the README).
std::string ipv4_text(std::uint32_t address) {
    char text[16];
    char* end = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        // Each octet takes at most three characters and its dot one: the text fits in 15.
        end = std::to_chars(end, end + 3, (address >> shift) & 0xffu).ptr;
        *end++ = '.';
    }
    return std::string(text, end - 1);
}

// RFC 5952 text of an IPv6 address, exactly as the C library's inet_ntop
// writes it: lower-case hex groups without leading zeros, the first longest
// run of two or more zero groups as "::", and the IPv4-compatible and
// IPv4-mapped forms (::a.b.c.d, ::ffff:a.b.c.d) in dotted decimal.
// Written by hand rather than with inet_ntop: the benchmarks show it pays (see the README).
std::string ipv6_text(const ip::address_v6::bytes_type& bytes) {
    std::uint16_t groups[8];
    for (int i = 0; i < 8; ++i)
        groups[i] = static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    int best_start = -1, best_length = 0;
    for (int i = 0; i < 8;) {
        int length = 0;
        while (i + length < 8 && groups[i + length] == 0)
            ++length;
        if (length > best_length) {
            best_start = i;
            best_length = length;
        }
        i += length > 0 ? length : 1;
    }
    if (best_length < 2)
        best_start = -1;

    std::string text;
    for (int i = 0; i < 8; ++i) {
        if (best_start >= 0 && i >= best_start && i < best_start + best_length) {
            if (i == best_start)
                text += ':';
            continue;
        }
        if (i != 0)
            text += ':';
        if (i == 6 && best_start == 0 &&
            (best_length == 6 || (best_length == 5 && groups[5] == 0xffff))) {
            text += ipv4_text(static_cast<std::uint32_t>(groups[6]) << 16 | groups[7]);
            return text;
        }
        char hex[4];
        text.append(hex, std::to_chars(hex, hex + 4, groups[i], 16).ptr);
    }
    if (best_start >= 0 && best_start + best_length == 8)
        text += ':';
    return text;
}

// Appends first .. last inclusive, ascending, unless that is empty or too many.
bool append_ipv4_span(std::uint32_t first, std::uint32_t last, std::vector<std::string>& out) {
    if (first > last)
        return false;
    const std::uint64_t count = std::uint64_t{last} - first + 1;
    if (count > max_scope_size)
        return false;
    append_entries(out, count, [first](std::uint64_t i) {
        return ipv4_text(first + static_cast<std::uint32_t>(i));
    });
    return true;
}

// "10.0.0.7"
bool spread_ipv4_address(std::string_view scope, std::vector<std::string>& out) {
    if (!parse_ipv4(scope))
        return false;
    // Dotted decimal without leading zeros is the one text of an address: keep the scope's.
    append_entries(out, 1, [&](std::uint64_t) { return std::string(scope); });
    return true;
}

// "fe80::1" or "[FE80::0:1]"
bool spread_ipv6_address(std::string_view scope, std::vector<std::string>& out) {
    std::string_view text = scope;
    if (text.front() == '[') {
        if (text.size() < 2 || text.back() != ']')
            return false;
        text = text.substr(1, text.size() - 2);
    }
    // Zone indexes ("%eth0") are local to one machine and have no place in a
    // shared scope; the parser would take them, so they are refused here.
    if (text.find('%') != std::string_view::npos)
        return false;
    boost::system::error_code ec;
    const ip::address_v6 address = ip::make_address_v6(std::string(text), ec);
    if (ec)
        return false;
    append_entries(out, 1, [&](std::uint64_t) { return ipv6_text(address.to_bytes()); });
    return true;
}

// "10.0.0.250-10.0.1.2" or, naming only the last octet, "10.0.0.5-9"
bool spread_ipv4_range(std::string_view scope, std::vector<std::string>& out) {
    const std::size_t dash = scope.find('-');
    if (dash == std::string_view::npos)
        return false;
    const auto first = parse_ipv4(scope.substr(0, dash));
    if (!first)
        return false;
    const std::string_view tail = scope.substr(dash + 1);
    std::uint32_t last = 0;
    if (tail.find('.') != std::string_view::npos) {
        const auto address = parse_ipv4(tail);
        if (!address)
            return false;
        last = address->to_uint();
    } else {
        const auto octet = parse_decimal(tail, 3);
        if (!octet || *octet > 255)
            return false;
        last = (first->to_uint() & 0xffffff00u) | *octet;
    }
    return append_ipv4_span(first->to_uint(), last, out);
}

// "192.168.1.0/30"
bool spread_ipv4_block(std::string_view scope, std::vector<std::string>& out) {
    const std::size_t slash = scope.find('/');
    if (slash == std::string_view::npos)
        return false;
    const auto address = parse_ipv4(scope.substr(0, slash));
    const auto prefix = parse_decimal(scope.substr(slash + 1), 2);
    if (!address || !prefix || *prefix > 32)
        return false;
    const ip::network_v4 block(*address, static_cast<unsigned short>(*prefix));
    // A block is named by its network address; host bits set mean a typo
    // rather than a different block.
    if (block.network() != *address)
        return false;
    const std::uint32_t network = block.network().to_uint();
    const std::uint32_t broadcast = block.broadcast().to_uint();
    // A /32 is one host and a /31 is a point-to-point link whose two
    // addresses are both hosts; larger blocks lose network and broadcast.
    if (*prefix >= 31)
        return append_ipv4_span(network, broadcast, out);
    return append_ipv4_span(network + 1, broadcast - 1, out);
}

// "bmc-01.lab.example"
bool spread_host_name(std::string_view scope, std::vector<std::string>& out) {
    if (!is_host_name(scope))
        return false;
    append_entries(out, 1, [&](std::uint64_t) { return std::string(scope); });
    return true;
}

// A decimal number of any length, without its leading zeros ("" for zero).
std::string_view significant(std::string_view digits) {
    return digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
}

// last - first for numbers written without leading zeros, or nothing when first > last or the
// distance reaches max_scope_size.
std::optional<std::uint64_t> distance(std::string_view first, std::string_view last) {
    if (first.size() > last.size() || (first.size() == last.size() && first > last))
        return std::nullopt;
    // Long subtraction from the right; the distance is kept only while it is small.
    std::uint64_t difference = 0;
    std::uint64_t scale = 1;
    int borrow = 0;
    for (std::size_t i = 0; i < last.size(); ++i) {
        const int a = last[last.size() - 1 - i] - '0';
        const int b = i < first.size() ? first[first.size() - 1 - i] - '0' : 0;
        int digit = a - b - borrow;
        borrow = digit < 0 ? 1 : 0;
        digit += borrow * 10;
        if (digit != 0 && scale >= max_scope_size)
            return std::nullopt;
        difference += static_cast<std::uint64_t>(digit) * scale;
        if (difference >= max_scope_size)
            return std::nullopt;
        scale = scale < max_scope_size ? scale * 10 : scale;
    }
    return difference;
}

// Adds one to a decimal number of any length ("" is zero).
void increment(std::string& digits) {
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit) {
        if (*digit != '9') {
            ++*digit;
            return;
        }
        *digit = '0';
    }
    digits.insert(digits.begin(), '1');
}

// "bmc[08-11].lab"
bool spread_host_name_range(std::string_view scope, std::vector<std::string>& out) {
    // Any further bracket is left in the name and fails the name check.
    const std::size_t open = scope.find('[');
    const std::size_t close = scope.find(']');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return false;
    const std::string_view bounds = scope.substr(open + 1, close - open - 1);
    const std::size_t dash = bounds.find('-');
    if (dash == std::string_view::npos)
        return false;
    const std::string_view first_text = bounds.substr(0, dash);
    const std::string_view last_text = bounds.substr(dash + 1);
    if (first_text.empty() || last_text.empty() || !all_digits(first_text) ||
        !all_digits(last_text))
        return false;
    // A leading zero on the first bound asks for fixed-width numbers; without
    // it the numbers are plain and a zero-led last bound is a mistake.
    const std::size_t width = has_leading_zero(first_text) ? first_text.size() : 0;
    if (width == 0 && has_leading_zero(last_text))
        return false;
    const auto span = distance(significant(first_text), significant(last_text));
    if (!span)
        return false;

    const std::string_view head = scope.substr(0, open);
    const std::string_view tail = scope.substr(close + 1);
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(*span + 1));
    std::string number(significant(first_text));
    for (std::uint64_t i = 0; i <= *span; ++i, increment(number)) {
        const std::size_t digits = std::max<std::size_t>(number.size(), 1);
        std::string name;
        name.reserve(head.size() + std::max(digits, width) + tail.size());
        name.append(head).append(width > digits ? width - digits : 0, '0');
        name.append(number.empty() ? std::string_view("0") : std::string_view(number));
        name.append(tail);
        // Every name is checked: whether a label reads as a number can change
        // with its digits ("[0-7]x" gives "0x", a hex number), so no single
        // name stands for the others.
        if (!is_host_name(name))
            return false;
        names.push_back(std::move(name));
    }
    append_entries(out, names.size(), [&](std::uint64_t i) { return std::move(names[i]); });
    return true;
}

}  // namespace

bool Addrkit::spread_scope_ip(const std::string& scope, std::vector<std::string>& addresses) {
    if (scope.empty() || !is_visible_ascii(scope))
        return false;
    // The forms do not overlap: only IPv6 has colons, the IPv4 forms have no letters while host
    // names need one, and only the host-name range has brackets without colons. So the scope's
    // characters tell which forms can apply, and only those are tried. Each form leaves
    // `addresses` untouched unless it accepts the scope.
    const std::string_view text = scope;
    if (text.find(':') != std::string_view::npos)
        return spread_ipv6_address(text, addresses);
    if (std::any_of(text.begin(), text.end(), is_letter) ||
        text.find('[') != std::string_view::npos)
        return spread_host_name(text, addresses) || spread_host_name_range(text, addresses);
    return spread_ipv4_address(text, addresses) || spread_ipv4_range(text, addresses) ||
           spread_ipv4_block(text, addresses);
}

}  // namespace Kelvor
