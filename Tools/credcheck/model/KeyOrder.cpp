#include "model/KeyOrder.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include <PlainTextFileParser/detail/CredentialText.h>

namespace credcheck {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<std::uint32_t> ipv4_of(std::string_view host) {
    char text[INET_ADDRSTRLEN] = {};
    if (host.empty() || host.size() >= sizeof text) {
        return std::nullopt;
    }
    std::memcpy(text, host.data(), host.size());
    in_addr address{};
    if (::inet_pton(AF_INET, text, &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

// The value of a run of at most 18 digits.
std::uint64_t number_of(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

}  // namespace

key_parts::key_parts(std::string_view key) {
    const plain_text_detail::key_parts parts = plain_text_detail::split_key(key);
    user = parts.user;
    host = parts.host;
    ipv4 = ipv4_of(host);
}

bool key_parts::operator<(const key_parts& other) const {
    return std::make_tuple(user, !ipv4, ipv4.value_or(0), host) <
           std::make_tuple(other.user, !other.ipv4, other.ipv4.value_or(0), other.host);
}

bool follows(const key_parts& a, const key_parts& b) {
    if (a.user != b.user) {
        return false;
    }
    if (a.ipv4 || b.ipv4) {
        return a.ipv4 && b.ipv4 && *b.ipv4 == *a.ipv4 + 1;
    }
    std::size_t start = static_cast<std::size_t>(
        std::mismatch(a.host.begin(), a.host.end(), b.host.begin(), b.host.end()).first -
        a.host.begin());
    while (start > 0 && is_digit(a.host[start - 1])) {
        --start;
    }
    const auto number_end = [&](std::string_view host) {
        std::size_t end = start;
        while (end < host.size() && is_digit(host[end])) {
            ++end;
        }
        return end;
    };
    const std::size_t a_end = number_end(a.host);
    const std::size_t b_end = number_end(b.host);
    if (a_end == start || b_end == start || a_end - start > 18 || b_end - start > 18 ||
        a.host.substr(a_end) != b.host.substr(b_end)) {
        return false;
    }
    return number_of(a.host.substr(start, a_end - start)) + 1 ==
           number_of(b.host.substr(start, b_end - start));
}

}  // namespace credcheck
