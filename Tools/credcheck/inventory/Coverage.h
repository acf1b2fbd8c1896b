#pragma once
// The join of inventories and a credential file: which inventory hosts get no key, and which
// keys reach hosts in no inventory. Hosts and keys meet in the form the keys write a host (an
// address as spread_scope_ip writes it, a name as it stands); no name is ever resolved.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "inventory/Inventory.h"
#include "walk/FileWalk.h"

namespace credcheck {

/// One host of the inventories, as keys can reach it.
struct inventory_unit {
    /// The host as keys write it; for a host whose name no key can hold (no host scope), the
    /// name as the inventory gives it.
    std::string name;
    /// Further hosts whose keys reach it: its address, its other names.
    std::vector<std::string> also;
    /// The user whose key it needs; empty for any user.
    std::string user;
    /// The inventory and its host that it comes from.
    std::uint32_t inventory = 0;
    std::uint32_t host = 0;
};

/// Every inventory of a run, read once, and its hosts as keys can reach them: each host once,
/// where it first stands.
struct inventory_set {
    std::vector<inventory> inventories;
    std::vector<inventory_unit> units;
    /// Every host of `units` and of their `also`, to the unit it reaches.
    std::unordered_multimap<std::string_view, std::uint32_t> by_host;
};

/// The hosts of `read`, each expanded (an Ansible pattern, then the scope) and kept once. A
/// host that cannot be expanded is a problem of its inventory. Throws std::bad_alloc.
inventory_set prepare_inventories(std::vector<inventory> read);

/// A run of hosts of one inventory entry that get no key: "node[051-060]", 10 hosts.
struct coverage_gap {
    std::uint32_t inventory = 0;
    text_position at;
    std::string hosts;
    std::size_t count = 0;
    std::string user;
};

/// A run of keys of one entry and one user whose hosts are in no inventory.
struct outside_run {
    entry_source source;
    /// "admin@10.0.2.[1-254]".
    std::string keys;
    std::size_t count = 0;
};

/// The most runs of hosts without a key, and of keys outside, that a report lists one by one;
/// the rest are counted. A credential file against the wrong inventory is one problem, not a
/// million findings, and its report stays in proportion to the file.
inline constexpr std::size_t MOST_COVERAGE_RUNS = 1'000;

/// How far a credential file covers the inventories.
struct coverage_report {
    const inventory_set* inventories = nullptr;
    std::size_t inventory_hosts = 0;
    std::size_t covered = 0;
    std::size_t not_covered = 0;
    /// Keys of the target form (user@host) whose host is in no inventory.
    std::size_t keys_outside = 0;
    /// The first MOST_COVERAGE_RUNS runs of each, in the order of the inventories and of the
    /// target entries; and how many hosts and keys the runs not listed hold.
    std::vector<coverage_gap> gaps;
    std::vector<outside_run> outside;
    std::size_t gap_hosts_not_listed = 0;
    std::size_t outside_keys_not_listed = 0;
};

/// The coverage of `set` by the keys of `walk`. Throws std::bad_alloc.
coverage_report cover(const inventory_set& set, const file_walk& walk);

/// A run of hosts folded into one pattern, and the first of them by index into the input.
struct folded_hosts {
    std::string pattern;
    std::size_t count = 0;
    std::size_t first = 0;
};

/// `hosts` folded into runs whose last number counts up by one, keeping its padding:
/// "node051" to "node060" is "node[051-060]", "10.0.0.1" to "10.0.0.99" "10.0.0.[1-99]". IPv6
/// addresses and hosts without a number stand alone.
std::vector<folded_hosts> fold_hosts(const std::vector<std::string_view>& hosts);

}  // namespace credcheck
