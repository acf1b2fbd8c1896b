#include "DiffReport.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <tuple>

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

#include "JsonReport.h"
#include "Report.h"
#include "TerminalWriter.h"

namespace credcheck {

namespace {

constexpr key_change::kind KINDS[] = {key_change::kind::added, key_change::kind::removed,
                                      key_change::kind::changed, key_change::kind::moved};

const char* heading_of(key_change::kind what) {
    switch (what) {
        case key_change::kind::added:
            return "Added";
        case key_change::kind::removed:
            return "Removed";
        case key_change::kind::changed:
            return "Password changed";
        case key_change::kind::moved:
            return "Same password, from another entry";
    }
    return "";
}

// A key as user and host, with the host's IPv4 value when it is one: the order in which changes
// are listed, and what tells consecutive addresses.
struct key_parts {
    std::string user;
    std::string host;
    std::optional<std::uint32_t> ipv4;

    explicit key_parts(const std::string& key) {
        const plain_text_detail::key_parts parts = plain_text_detail::split_key(key);
        user = parts.user;
        host = parts.host;
        in_addr address{};
        if (::inet_pton(AF_INET, host.c_str(), &address) == 1) {
            ipv4 = ntohl(address.s_addr);
        }
    }
    // By user, then addresses in numeric order, then names.
    bool operator<(const key_parts& other) const {
        return std::make_tuple(std::cref(user), !ipv4, ipv4.value_or(0), std::cref(host)) <
               std::make_tuple(std::cref(other.user), !other.ipv4, other.ipv4.value_or(0),
                               std::cref(other.host));
    }
};

// Whether `b`'s host comes right after `a`'s: the next IPv4 address, or a host name whose one
// differing number is one more ("bmc09.lab", "bmc10.lab").
bool follows(const key_parts& a, const key_parts& b) {
    if (a.user != b.user) {
        return false;
    }
    if (a.ipv4 || b.ipv4) {
        return a.ipv4 && b.ipv4 && *b.ipv4 == *a.ipv4 + 1;
    }
    const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t start = static_cast<std::size_t>(
        std::mismatch(a.host.begin(), a.host.end(), b.host.begin(), b.host.end()).first -
        a.host.begin());
    while (start > 0 && is_digit(a.host[start - 1])) {
        --start;
    }
    const auto number_end = [&](const std::string& host) {
        std::size_t end = start;
        while (end < host.size() && is_digit(host[end])) {
            ++end;
        }
        return end;
    };
    const std::size_t a_end = number_end(a.host);
    const std::size_t b_end = number_end(b.host);
    if (a_end == start || b_end == start || a_end - start > 18 || b_end - start > 18 ||
        a.host.compare(a_end, std::string::npos, b.host, b_end, std::string::npos) != 0) {
        return false;
    }
    return std::stoull(a.host.substr(start, a_end - start)) + 1 ==
           std::stoull(b.host.substr(start, b_end - start));
}

// What a change says beyond its key: the same for every key of a folded line.
std::string detail(const file_diff& diff, const key_change& change, bool reveal) {
    const auto shown = [&](const key_side& side) {
        return reveal ? " '" + side.value + "'" : std::string();
    };
    switch (change.what) {
        case key_change::kind::added:
            return "added: " + described_source(diff.after, change.after->source) +
                   shown(*change.after);
        case key_change::kind::removed:
            return "removed: was " + described_source(diff.before, change.before->source) +
                   shown(*change.before);
        case key_change::kind::changed:
            return "password changed: " + described_source(diff.before, change.before->source) +
                   shown(*change.before) + " -> " +
                   described_source(diff.after, change.after->source) + shown(*change.after);
        case key_change::kind::moved:
            return "same password, now from " + described_source(diff.after, change.after->source) +
                   ", was " + described_source(diff.before, change.before->source);
    }
    return "";
}

// The changes of one kind, one line per run of a user's consecutive addresses (or numbered host
// names) that change the same way.
void write_kind(terminal_writer& line, const file_diff& diff, key_change::kind what, bool reveal) {
    std::vector<std::pair<key_parts, const key_change*>> keys;
    for (const key_change& change : diff.changes) {
        if (change.what == what) {
            keys.emplace_back(key_parts(change.key), &change);
        }
    }
    if (keys.empty()) {
        return;
    }
    std::sort(keys.begin(), keys.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    line.end_line();
    line(std::string(heading_of(what)) + " (" + grouped(keys.size()) +
             (keys.size() == 1 ? " key)" : " keys)"),
         style::heading)
        .end_line();
    for (std::size_t first = 0; first < keys.size();) {
        const std::string said = detail(diff, *keys[first].second, reveal);
        std::size_t last = first;
        while (last + 1 < keys.size()) {
            if (!follows(keys[last].first, keys[last + 1].first) ||
                detail(diff, *keys[last + 1].second, reveal) != said) {
                break;
            }
            ++last;
        }
        line("  ")(keys[first].second->key);
        if (last > first) {
            line(" \xe2\x80\xa6 ")(keys[last].second->key)(" (" + grouped(last - first + 1) +
                                                           " keys)");
        }
        line(" ")(said).end_line();
        first = last + 1;
    }
}

void write_result(terminal_writer& line, const char* side, const CorvexResult& result) {
    const result_description description = describe_result(result.code);
    line("  " + std::string(side) + ": ")(description.name,
                                          result.code == RESULT_SUCCEED ? style::good : style::bad)(
        " " + description.hex + "  " + description.message);
    if (!result.message.empty()) {
        line("  detail: " + result.message);
    }
    line.end_line();
}

boost::json::object side_json(const file_walk& walk, const key_side& side, bool reveal) {
    return {{"value", shown_password(side.value, reveal)},
            {"source", source_json(walk, side.source)}};
}

}  // namespace

void write_human_diff(std::ostream& out, const file_diff& diff, const secret_mask& mask,
                      bool reveal, bool colour) {
    terminal_writer line(out, mask, colour);
    line("credcheck --diff: " + diff.before.path + " -> " + diff.after.path).end_line();
    line.end_line();
    line("Result", style::heading).end_line();
    if (diff.before.result.code == diff.after.result.code &&
        diff.before.result.message == diff.after.result.message) {
        write_result(line, "both", diff.after.result);
    } else {
        write_result(line, "old", diff.before.result);
        write_result(line, "new", diff.after.result);
    }
    std::size_t counts[4] = {};
    for (const key_change& change : diff.changes) {
        ++counts[static_cast<std::size_t>(change.what)];
    }
    line("  " + grouped(diff.before.entries.size()) + " keys before, " +
         grouped(diff.after.entries.size()) + " after: " + grouped(counts[0]) + " added, " +
         grouped(counts[1]) + " removed, " + grouped(counts[2]) + " with another password, " +
         grouped(counts[3]) + " from another entry")
        .end_line();
    if (diff.changes.empty()) {
        line.end_line();
        line("No key differs.", style::good).end_line();
    }
    for (const key_change::kind what : KINDS) {
        write_kind(line, diff, what, reveal);
    }
}

boost::json::value json_diff(const file_diff& diff, bool reveal) {
    boost::json::object lists;
    boost::json::object summary;
    for (const key_change::kind what : KINDS) {
        lists[kind_name(what)] = boost::json::array();
        summary[kind_name(what)] = 0;
    }
    for (const key_change& change : diff.changes) {
        boost::json::object item{{"key", change.key}};
        if (change.before) {
            item["old"] = side_json(diff.before, *change.before, reveal);
        }
        if (change.after) {
            item["new"] = side_json(diff.after, *change.after, reveal);
        }
        lists[kind_name(change.what)].as_array().push_back(std::move(item));
        summary[kind_name(change.what)] = summary[kind_name(change.what)].as_int64() + 1;
    }
    boost::json::object report{
        {"old", boost::json::object{{"file", diff.before.path},
                                    {"result", result_json(diff.before.result)},
                                    {"entries", diff.before.entries.size()}}},
        {"new", boost::json::object{{"file", diff.after.path},
                                    {"result", result_json(diff.after.result)},
                                    {"entries", diff.after.entries.size()}}},
        {"same_maps", !diff.maps_differ()},
        {"summary", std::move(summary)}};
    for (const key_change::kind what : KINDS) {
        report[kind_name(what)] = std::move(lists[kind_name(what)]);
    }
    return report;
}

}  // namespace credcheck
