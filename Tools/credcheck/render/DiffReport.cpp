#include "render/DiffReport.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <tuple>

#include "model/KeyOrder.h"
#include "model/Report.h"
#include "render/JsonReport.h"
#include "render/TerminalWriter.h"

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

// `source` of `walk` as the report names it: quoted as `quotes` says, else by place.
report_text named(const file_walk& walk, entry_source source, source_quotes& quotes) {
    if (quotes.quote(source)) {
        return described_source(walk, source);
    }
    report_text name(source_name(source));
    const text_position at = source_position(walk, source);
    if (at.known()) {
        name << " (" + line_and_column(at) + ")";
    }
    return name;
}

// The entries of both sides, each named as source_quotes says.
struct diff_names {
    explicit diff_names(const file_diff& diff)
        : diff(diff), before(diff.before), after(diff.after) {}

    report_text old_side(entry_source source) { return named(diff.before, source, before); }
    report_text new_side(entry_source source) { return named(diff.after, source, after); }

    const file_diff& diff;
    source_quotes before;
    source_quotes after;
};

// What a change says beyond its key: the same for every key of a folded line.
report_text detail(const key_change& change, bool reveal, diff_names& names) {
    const auto shown = [&](const key_side& side) {
        report_text value;
        if (reveal) {
            value << " '" << password_text(*side.value, reveal) << "'";
        }
        return value;
    };
    report_text said;
    switch (change.what) {
        case key_change::kind::added:
            said << "added: " << names.new_side(change.after->source) << shown(*change.after);
            break;
        case key_change::kind::removed:
            said << "removed: was " << names.old_side(change.before->source)
                 << shown(*change.before);
            break;
        case key_change::kind::changed:
            said << "password changed: " << names.old_side(change.before->source)
                 << shown(*change.before) << " -> " << names.new_side(change.after->source)
                 << shown(*change.after);
            break;
        case key_change::kind::moved:
            said << "same password, now from " << names.new_side(change.after->source) << ", was "
                 << names.old_side(change.before->source);
            break;
    }
    return said;
}

// Whether two sides say the same: the same entry and, where the passwords are shown, the same
// password.
bool same_side(const std::optional<key_side>& a, const std::optional<key_side>& b, bool reveal) {
    if (!a || !b) {
        return !a && !b;
    }
    return a->source.member == b->source.member && a->source.index == b->source.index &&
           (!reveal || *a->value == *b->value);
}

// The changes of one kind, one line per run of a user's consecutive addresses (or numbered host
// names) that change the same way.
void write_kind(terminal_writer& line, const file_diff& diff, key_change::kind what, bool reveal,
                diff_names& names) {
    std::vector<std::pair<key_parts, const key_change*>> keys;
    for (const key_change& change : diff.changes) {
        if (change.what == what) {
            keys.emplace_back(key_parts(*change.key), &change);
        }
    }
    if (keys.empty()) {
        return;
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    line.end_line();
    line(std::string(heading_of(what)) + " (" + grouped(keys.size()) +
             (keys.size() == 1 ? " key)" : " keys)"),
         style::heading)
        .end_line();
    const auto key_of = [](const auto& key) -> std::string_view { return *key.second->key; };
    const auto together = [&](const auto& a, const auto& b) {
        return same_side(a.second->before, b.second->before, reveal) &&
               same_side(a.second->after, b.second->after, reveal);
    };
    for_each_run(keys, 0, keys.size(), false, key_of, together, [&](const key_run& run) {
        line("  ").key(*keys[run.first].second->key);
        if (run.last > run.first) {
            line(" \xe2\x80\xa6 ")
                .key (*keys[run.last].second->key)(" (" + grouped(run.count()) + " keys)");
        }
        line(" ")(detail(*keys[run.first].second, reveal, names)).end_line();
    });
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

// A side of a change: its password, and its source by number in that side's sources.
void write_side(json_writer& json, const file_walk& walk, const key_side& side, bool reveal) {
    json.begin_object(true);
    json.key("value").value(password_text(*side.value, reveal));
    json.key("source").value(std::uint64_t{source_number(walk, side.source)});
    json.end_object();
}

void write_file(json_writer& json, const file_walk& walk) {
    json.begin_object();
    json.key("file").value(file_text{walk.path});
    json.key("result");
    write_result(json, walk.result);
    json.key("entries").value(std::uint64_t{walk.entries.size()});
    json.end_object();
}

}  // namespace

void write_human_diff(std::ostream& out, const file_diff& diff, const secret_mask& mask,
                      bool reveal, bool colour) {
    terminal_writer line(out, mask, colour);
    line("credcheck --diff: ").file(diff.before.path)(" -> ").file(diff.after.path).end_line();
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
    diff_names names(diff);
    for (const key_change::kind what : KINDS) {
        write_kind(line, diff, what, reveal, names);
    }
}

void write_json_diff(std::ostream& out, const file_diff& diff, const secret_mask& mask, bool reveal,
                     bool) {
    json_writer json(out, mask);
    json.begin_object();
    json.key("old");
    write_file(json, diff.before);
    json.key("new");
    write_file(json, diff.after);
    json.key("same_maps").value(!diff.maps_differ());
    std::size_t counts[4] = {};
    for (const key_change& change : diff.changes) {
        ++counts[static_cast<std::size_t>(change.what)];
    }
    json.key("summary").begin_object();
    for (const key_change::kind what : KINDS) {
        json.key(kind_name(what)).value(std::uint64_t{counts[static_cast<std::size_t>(what)]});
    }
    json.end_object();
    json.key("sources").begin_object();
    json.key("old");
    write_sources(json, diff.before);
    json.key("new");
    write_sources(json, diff.after);
    json.end_object();
    for (const key_change::kind what : KINDS) {
        json.key(kind_name(what)).begin_array();
        for (const key_change& change : diff.changes) {
            if (change.what != what) {
                continue;
            }
            json.begin_object(true);
            json.key("key").value(key_text{*change.key});
            if (change.before) {
                json.key("old");
                write_side(json, diff.before, *change.before, reveal);
            }
            if (change.after) {
                json.key("new");
                write_side(json, diff.after, *change.after, reveal);
            }
            json.end_object();
        }
        json.end_array();
    }
    json.end_object();
    json.finish();
}

}  // namespace credcheck
