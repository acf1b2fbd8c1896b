#pragma once
// The order in which reports list keys, which keys follow one another, and the runs they fold
// into: a person reads a user's addresses in numeric order, and a run of them as one line.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <PlainTextFileParser/detail/CredentialText.h>

namespace credcheck {

/// A key as user and host, with the host's value when it is an IPv4 address. Views the key.
struct key_parts {
    std::string_view user;
    std::string_view host;
    std::optional<std::uint32_t> ipv4;

    explicit key_parts(std::string_view key);

    /// By user, then IPv4 addresses in numeric order, then other hosts byte by byte.
    bool operator<(const key_parts& other) const;
};

/// Whether `b`'s host comes right after `a`'s for the same user: the next IPv4 address, or a
/// host name whose one differing number is one more ("bmc09.lab", "bmc10.lab").
bool follows(const key_parts& a, const key_parts& b);

/// Calls `each(first, end)` for every range [first, end) of `items` that holds one user's keys
/// (`key_of(item)`). Items in byte order of their keys, or in the order of key_parts, keep each
/// user's keys together.
template <class Item, class KeyOf, class Each>
void for_each_user(const std::vector<Item>& items, KeyOf key_of, Each each) {
    for (std::size_t first = 0; first < items.size();) {
        const std::string_view user = plain_text_detail::split_key(key_of(items[first])).user;
        std::size_t end = first + 1;
        while (end < items.size() &&
               plain_text_detail::split_key(key_of(items[end])).user == user) {
            ++end;
        }
        each(first, end);
        first = end;
    }
}

/// Puts items[first, end), one user's keys in byte order, in the order of key_parts: the IPv4
/// addresses first and in numeric order, then the other hosts as they were.
template <class Item, class KeyOf>
void order_user_keys(std::vector<Item>& items, std::size_t first, std::size_t end, KeyOf key_of) {
    std::vector<std::pair<std::uint32_t, Item>> addresses;
    std::size_t others = first;
    for (std::size_t i = first; i < end; ++i) {
        const key_parts parts(key_of(items[i]));
        if (parts.ipv4) {
            addresses.emplace_back(*parts.ipv4, items[i]);
        } else {
            items[others++] = items[i];
        }
    }
    if (addresses.empty()) {
        return;
    }
    std::stable_sort(addresses.begin(), addresses.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::move_backward(items.begin() + static_cast<std::ptrdiff_t>(first),
                       items.begin() + static_cast<std::ptrdiff_t>(others),
                       items.begin() + static_cast<std::ptrdiff_t>(end));
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        items[first + i] = addresses[i].second;
    }
}

/// A run of keys that one line shows: items [first, last] of an ordered list.
struct key_run {
    std::size_t first;
    std::size_t last;

    std::size_t count() const { return last - first + 1; }
};

/// Calls `each(run)` for every run of items[first, end) (keys in reading order) whose keys follow
/// one another and that `together(a, b)` says belong on one line; every key alone with
/// `all_keys`. The one place where reports fold keys.
template <class Item, class KeyOf, class Together, class Each>
void for_each_run(const std::vector<Item>& items, std::size_t first, std::size_t end, bool all_keys,
                  KeyOf key_of, Together together, Each each) {
    if (first == end) {
        return;
    }
    key_run run{first, first};
    key_parts previous(key_of(items[first]));
    for (std::size_t i = first + 1; i < end; ++i) {
        key_parts current(key_of(items[i]));
        if (!all_keys && follows(previous, current) && together(items[i - 1], items[i])) {
            run.last = i;
        } else {
            each(run);
            run = {i, i};
        }
        previous = current;
    }
    each(run);
}

}  // namespace credcheck
