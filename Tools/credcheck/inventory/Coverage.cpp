#include "inventory/Coverage.h"

#include <algorithm>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <utility>

#include <Kelvor/Addrkit.h>
#include <PlainTextFileParser/detail/CredentialText.h>

namespace credcheck {

namespace {

namespace detail = plain_text_detail;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool all_digits(std::string_view text) {
    return !text.empty() && text.size() <= 18 && std::all_of(text.begin(), text.end(), is_digit);
}

std::uint64_t number_of(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// One bracket of an Ansible pattern: what it stands for, in order.
struct pattern_range {
    std::size_t begin = 0;  // where the bracket stands in the pattern
    std::size_t end = 0;    // one past its "]"
    std::vector<std::string> values;
};

// The values of "first:last[:step]", or a problem.
std::optional<std::string> range_values(std::string_view inside, std::size_t most,
                                        std::vector<std::string>& values) {
    std::vector<std::string_view> parts;
    for (std::size_t begin = 0;;) {
        const std::size_t colon = inside.find(':', begin);
        parts.push_back(inside.substr(begin, colon - begin));
        if (colon == std::string_view::npos) {
            break;
        }
        begin = colon + 1;
    }
    std::uint64_t step = 1;
    if (parts.size() == 3) {
        if (!all_digits(parts[2]) || number_of(parts[2]) == 0) {
            return std::string("its step is no number above 0");
        }
        step = number_of(parts[2]);
    } else if (parts.size() != 2) {
        return std::string("a range is [first:last] or [first:last:step]");
    }
    const std::string_view first = parts[0];
    const std::string_view last = parts[1];
    if (all_digits(first) && all_digits(last)) {
        const std::uint64_t from = number_of(first);
        const std::uint64_t to = number_of(last);
        if (from > to) {
            return std::string("its first number is above its last");
        }
        if ((to - from) / step + 1 > most) {
            return "it stands for more than " + grouped(MOST_HOSTS_PER_PATTERN) + " hosts";
        }
        const std::size_t width = first.size() > 1 && first.front() == '0' ? first.size() : 0;
        for (std::uint64_t n = from; n <= to; n += step) {
            std::string digits = std::to_string(n);
            if (digits.size() < width) {
                digits.insert(0, width - digits.size(), '0');
            }
            values.push_back(std::move(digits));
        }
        return std::nullopt;
    }
    if (first.size() == 1 && last.size() == 1 && is_letter(first[0]) && is_letter(last[0]) &&
        (first[0] >= 'a') == (last[0] >= 'a')) {
        if (first[0] > last[0]) {
            return std::string("its first letter is after its last");
        }
        for (int c = first[0]; c <= last[0];
             c += static_cast<int>(std::min<std::uint64_t>(step, 26))) {
            values.emplace_back(1, static_cast<char>(c));
        }
        return std::nullopt;
    }
    return std::string("a range runs from a number to a number, or a letter to a letter");
}

// The name as keys write it, when spread_scope_ip reads it as one host or a scope; else none.
bool spread(const std::string& scope, std::vector<std::string>& hosts) {
    return Kelvor::Addrkit::spread_scope_ip(scope, hosts);
}

}  // namespace

std::optional<std::string> expand_pattern(std::string_view pattern,
                                          std::vector<std::string>& names) {
    std::vector<pattern_range> ranges;
    std::size_t total = 1;
    // A bracket that opens the text is an IPv6 address, and one without ":" a numbered family
    // of the credential file's own form: both are left to spread_scope_ip.
    for (std::size_t at = pattern.find('['); at != std::string_view::npos && at > 0;
         at = pattern.find('[', at + 1)) {
        const std::size_t close = pattern.find(']', at);
        if (close == std::string_view::npos) {
            return std::string("a '[' without its ']'");
        }
        const std::string_view inside = pattern.substr(at + 1, close - at - 1);
        if (inside.find(':') == std::string_view::npos) {
            continue;
        }
        pattern_range range{at, close + 1, {}};
        if (auto wrong = range_values(inside, MOST_HOSTS_PER_PATTERN / total, range.values)) {
            return wrong;
        }
        total *= range.values.size();
        ranges.push_back(std::move(range));
        at = close;
    }
    if (ranges.empty()) {
        names.emplace_back(pattern);
        return std::nullopt;
    }
    // Every choice of one value per bracket, the last bracket counting fastest.
    std::vector<std::size_t> choice(ranges.size(), 0);
    names.reserve(names.size() + total);
    for (std::size_t made = 0; made < total; ++made) {
        std::string name;
        std::size_t from = 0;
        for (std::size_t r = 0; r < ranges.size(); ++r) {
            name.append(pattern.substr(from, ranges[r].begin - from));
            name.append(ranges[r].values[choice[r]]);
            from = ranges[r].end;
        }
        name.append(pattern.substr(from));
        names.push_back(std::move(name));
        for (std::size_t r = ranges.size(); r-- > 0;) {
            if (++choice[r] < ranges[r].values.size()) {
                break;
            }
            choice[r] = 0;
        }
    }
    return std::nullopt;
}

inventory_set prepare_inventories(std::vector<inventory> read) {
    inventory_set set;
    set.inventories = std::move(read);
    std::size_t written = 0;
    for (const inventory& in : set.inventories) {
        written += in.hosts.size();
    }
    set.units.reserve(written);
    std::unordered_map<std::string, std::uint32_t> seen;
    seen.reserve(written);
    std::vector<std::string> names;
    std::vector<std::string> hosts;
    for (std::uint32_t i = 0; i < set.inventories.size(); ++i) {
        inventory& in = set.inventories[i];
        for (std::uint32_t h = 0; h < in.hosts.size(); ++h) {
            const inventory_host& host = in.hosts[h];
            names.clear();
            if (const auto wrong = expand_pattern(host.name, names)) {
                report_text message("the host pattern ");
                message << quoted(host.name) << " is refused: " << *wrong;
                in.problems.push_back({host.at, std::move(message)});
                continue;
            }
            std::vector<std::string> also;
            for (const std::string& other : host.also) {
                hosts.clear();
                also.push_back(spread(other, hosts) && hosts.size() == 1 ? hosts.front() : other);
            }
            hosts.clear();
            for (const std::string& name : names) {
                if (!spread(name, hosts)) {
                    if (also.empty()) {
                        report_text message("the host ");
                        message << quoted(name)
                                << " is refused: no host scope a credential file can name, or "
                                   "one of more than 65,536 addresses";
                        in.problems.push_back({host.at, std::move(message)});
                        break;
                    }
                    // No key can name it, but its address can be reached.
                    hosts.push_back(name);
                }
            }
            for (std::string& name : hosts) {
                const auto [found, added] =
                    seen.emplace(name, static_cast<std::uint32_t>(set.units.size()));
                if (added) {
                    set.units.push_back({std::move(name), also, host.user, i, h});
                }
            }
            hosts.clear();
        }
    }
    set.by_host.reserve(set.units.size());
    for (std::uint32_t u = 0; u < set.units.size(); ++u) {
        const inventory_unit& unit = set.units[u];
        set.by_host.emplace(unit.name, u);
        for (const std::string& other : unit.also) {
            if (other != unit.name) {
                set.by_host.emplace(other, u);
            }
        }
    }
    return set;
}

namespace {

// The value of an IPv4 address in dotted decimal, as spread_scope_ip writes one.
std::optional<std::uint32_t> ipv4_of(std::string_view host) {
    std::uint32_t value = 0;
    std::size_t octets = 0;
    for (std::size_t begin = 0; begin <= host.size(); ++octets) {
        const std::size_t dot = std::min(host.find('.', begin), host.size());
        const std::string_view octet = host.substr(begin, dot - begin);
        if (octets == 4 || octet.empty() || octet.size() > 3 || !all_digits(octet) ||
            number_of(octet) > 255) {
            return std::nullopt;
        }
        value = value << 8 | static_cast<std::uint32_t>(number_of(octet));
        begin = dot + 1;
    }
    return octets == 4 ? std::optional<std::uint32_t>(value) : std::nullopt;
}

// A host divided for folding: IPv4 addresses by value, names by their last number.
struct host_parts {
    std::optional<std::uint32_t> ipv4;
    std::string_view prefix;
    std::string_view digits;
    std::string_view suffix;
    std::uint64_t value = 0;
    std::size_t index = 0;
    bool numbered = false;

    // IPv4 addresses first, in order; then numbered names; then the rest.
    int kind() const { return ipv4 ? 0 : numbered ? 1 : 2; }
};

host_parts parts_of(std::string_view host, std::size_t index) {
    host_parts p;
    p.index = index;
    p.ipv4 = ipv4_of(host);
    if (p.ipv4) {
        p.value = *p.ipv4;
        return p;
    }
    p.prefix = host;
    std::size_t end = host.size();
    while (end > 0 && !is_digit(host[end - 1])) {
        --end;
    }
    std::size_t begin = end;
    while (begin > 0 && is_digit(host[begin - 1])) {
        --begin;
    }
    // An IPv6 address's groups are hex: its decimal digits count nothing.
    if (host.find(':') == std::string_view::npos && begin < end && end - begin <= 18) {
        p.prefix = host.substr(0, begin);
        p.digits = host.substr(begin, end - begin);
        p.suffix = host.substr(end);
        p.value = number_of(p.digits);
        p.numbered = true;
    }
    return p;
}

bool padded(std::string_view digits) {
    return digits.size() > 1 && digits.front() == '0';
}

// Whether `b` comes right after `a` in one run: the next address, or the next number of the
// same name that keeps its padding.
bool next_in_run(const host_parts& a, const host_parts& b) {
    if (a.ipv4 || b.ipv4) {
        return a.ipv4 && b.ipv4 && *b.ipv4 == *a.ipv4 + 1;
    }
    return a.numbered && b.numbered && a.prefix == b.prefix && a.suffix == b.suffix &&
           b.value == a.value + 1 &&
           (padded(a.digits) ? b.digits.size() == a.digits.size() : !padded(b.digits));
}

}  // namespace

std::vector<folded_hosts> fold_hosts(const std::vector<std::string_view>& hosts) {
    std::vector<host_parts> all;
    all.reserve(hosts.size());
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        all.push_back(parts_of(hosts[i], i));
    }
    std::sort(all.begin(), all.end(), [](const host_parts& a, const host_parts& b) {
        return std::make_tuple(a.kind(), a.prefix, a.suffix, a.value, a.digits, a.index) <
               std::make_tuple(b.kind(), b.prefix, b.suffix, b.value, b.digits, b.index);
    });
    std::vector<folded_hosts> folded;
    for (std::size_t first = 0; first < all.size();) {
        std::size_t last = first;
        std::size_t lowest = all[first].index;
        while (last + 1 < all.size() && next_in_run(all[last], all[last + 1])) {
            ++last;
            lowest = std::min(lowest, all[last].index);
        }
        folded_hosts run;
        run.count = last - first + 1;
        run.first = lowest;
        const host_parts& a = all[first];
        const host_parts& z = all[last];
        const std::string_view first_host = hosts[a.index];
        const std::string_view last_host = hosts[z.index];
        if (run.count == 1) {
            run.pattern = std::string(first_host);
        } else if (a.ipv4 && *a.ipv4 >> 8 == *z.ipv4 >> 8) {
            // One /24: "10.0.0.[1-99]".
            const std::size_t dot = first_host.rfind('.') + 1;
            run.pattern.append(first_host.substr(0, dot)).append("[");
            run.pattern.append(first_host.substr(dot)).append("-");
            run.pattern.append(last_host.substr(last_host.rfind('.') + 1)).append("]");
        } else if (a.ipv4) {
            // Across octets, the credential file's own range: "10.0.0.255-10.0.1.254".
            run.pattern.append(first_host).append("-").append(last_host);
        } else {
            run.pattern.append(a.prefix).append("[").append(a.digits).append("-");
            run.pattern.append(z.digits).append("]").append(a.suffix);
        }
        folded.push_back(std::move(run));
        first = last + 1;
    }
    return folded;
}

coverage_report cover(const inventory_set& set, const file_walk& walk) {
    coverage_report report;
    report.inventories = &set;
    report.inventory_hosts = set.units.size();
    std::vector<bool> covered(set.units.size(), false);
    // The keys outside, as indices into the entries: a fleet's worth of them costs four bytes
    // each until they are folded.
    std::vector<std::uint32_t> outside;
    for (std::size_t i = 0; i < walk.entries.size(); ++i) {
        const handed_entry& entry = walk.entries[i];
        if (entry.source.member != member_id::target_systems) {
            continue;
        }
        const detail::key_parts key = detail::split_key(*entry.key);
        const auto [first, last] = set.by_host.equal_range(key.host);
        if (first == last) {
            outside.push_back(static_cast<std::uint32_t>(i));
            continue;
        }
        for (auto unit = first; unit != last; ++unit) {
            const std::string& user = set.units[unit->second].user;
            if (user.empty() || user == key.user) {
                covered[unit->second] = true;
            }
        }
    }
    report.keys_outside = outside.size();
    report.covered = static_cast<std::size_t>(std::count(covered.begin(), covered.end(), true));
    report.not_covered = report.inventory_hosts - report.covered;
    // Hosts without a key, folded within the inventory entry that names them.
    std::vector<std::string_view> names;
    std::size_t listed = 0;
    for (std::size_t u = 0; u < set.units.size() && report.gaps.size() < MOST_COVERAGE_RUNS;) {
        const inventory_unit& unit = set.units[u];
        std::size_t end = u;
        names.clear();
        for (; end < set.units.size() && set.units[end].inventory == unit.inventory &&
               set.units[end].host == unit.host;
             ++end) {
            if (!covered[end]) {
                names.push_back(set.units[end].name);
            }
        }
        for (folded_hosts& run : fold_hosts(names)) {
            if (report.gaps.size() == MOST_COVERAGE_RUNS) {
                break;
            }
            listed += run.count;
            report.gaps.push_back({unit.inventory,
                                   set.inventories[unit.inventory].hosts[unit.host].at,
                                   std::move(run.pattern), run.count, unit.user});
        }
        u = end;
    }
    report.gap_hosts_not_listed = report.not_covered - listed;
    // Keys outside, folded within the target entry and the user they come from. The entries
    // are in key order, so after a stable sort by entry each user's keys stand together.
    std::stable_sort(outside.begin(), outside.end(), [&](std::uint32_t a, std::uint32_t b) {
        return walk.entries[a].source.index < walk.entries[b].source.index;
    });
    listed = 0;
    std::vector<std::string_view> hosts;
    for (std::size_t first = 0;
         first < outside.size() && report.outside.size() < MOST_COVERAGE_RUNS;) {
        const handed_entry& entry = walk.entries[outside[first]];
        const std::string_view user = detail::split_key(*entry.key).user;
        hosts.clear();
        std::size_t end = first;
        for (; end < outside.size(); ++end) {
            const handed_entry& next = walk.entries[outside[end]];
            const detail::key_parts key = detail::split_key(*next.key);
            if (next.source.index != entry.source.index || key.user != user) {
                break;
            }
            hosts.push_back(key.host);
        }
        for (folded_hosts& run : fold_hosts(hosts)) {
            if (report.outside.size() == MOST_COVERAGE_RUNS) {
                break;
            }
            listed += run.count;
            report.outside.push_back(
                {entry.source, detail::credential_key(user, run.pattern), run.count});
        }
        first = end;
    }
    report.outside_keys_not_listed = report.keys_outside - listed;
    return report;
}

}  // namespace credcheck
