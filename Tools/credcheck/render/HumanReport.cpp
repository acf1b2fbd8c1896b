#include "render/HumanReport.h"

#include <algorithm>
#include <optional>
#include <string>

#include "model/KeyOrder.h"
#include "render/TerminalWriter.h"
#include "text/SafeText.h"

namespace credcheck {

namespace {

namespace detail = plain_text_detail;

bool same_source(entry_source a, entry_source b) {
    return a.member == b.member && a.index == b.index;
}

// "line 8:5", or "file" for what concerns the file as a whole.
std::string position_of(text_position at) {
    return at.known() ? line_and_column(at) : std::string("file");
}

// `source` as "target_systems[3] 'ops@10.0.0.0/30' (line 8:5)", or "privpassword (line 3:19)";
// without the entry's text unless `quote`.
terminal_writer& write_source(terminal_writer& line, const file_walk& walk, entry_source source,
                              bool quote, style look = style::plain) {
    line(source_name(source), look);
    if (quote && !detail::is_password_member(source.member)) {
        line(" '", look).file(source_entry(walk, source), look)("'", look);
    }
    const text_position at = source_position(walk, source);
    if (at.known()) {
        line(" (" + position_of(at) + ")", look);
    }
    return line;
}

// Names the entries of one report, quoting each as source_quotes says.
class source_names {
public:
    explicit source_names(const file_walk& walk) : walk_(walk), quotes_(walk) {}

    terminal_writer& operator()(terminal_writer& line, entry_source source,
                                style look = style::plain) {
        return write_source(line, walk_, source, quotes_.quote(source), look);
    }

private:
    const file_walk& walk_;
    source_quotes quotes_;
};

void heading(terminal_writer& line, const std::string& title, std::size_t count) {
    line(title + " (" + grouped(count) + ")", style::heading).end_line();
}

void none(terminal_writer& line) {
    line("  ")("(none)", style::dim).end_line();
}

// The columns that the keys of a run take: "u@10.0.0.1", or "u@10.0.0.1 … u@10.0.0.6 (6 keys)".
std::size_t keys_width(std::string_view first, std::string_view last, std::size_t count) {
    std::size_t width = terminal_writer::width_of(first);
    if (count > 1) {
        width += 3 + terminal_writer::width_of(last) + 2 + grouped(count).size() + 6;
    }
    return width;
}

// The keys of a run: "u@10.0.0.1", or "u@10.0.0.1 … u@10.0.0.6 (6 keys)".
void write_keys(terminal_writer& line, std::string_view first, std::string_view last,
                std::size_t count) {
    line.key(first);
    if (count > 1) {
        line(" \xe2\x80\xa6 ").key(last)(" (" + grouped(count) + " keys)");
    }
}

void write_result(terminal_writer& line, const file_report& r) {
    const file_walk& walk = r.walk;
    const result_description description = describe_result(walk.result.code);
    const bool succeeded = walk.result.code == RESULT_SUCCEED;
    line("Result", style::heading).end_line();
    line("  ")(description.name, succeeded ? style::good : style::bad)(" " + description.hex +
                                                                       "  " + description.message)
        .end_line();
    line("  detail: ");
    if (walk.result.message.empty()) {
        line("(none)", style::dim);
    } else {
        line(walk.result.message);
    }
    line.end_line();
    const report_summary& counts = r.summary;
    line("  " + count_of(counts.entries, "entry", "entries") + ", " +
         count_of(counts.shadowed, "shadowed key", "shadowed keys") + ", " +
         count_of(counts.unknown_aliases, "unknown alias", "unknown aliases") + ", " +
         count_of(counts.rejected_scopes, "rejected scope", "rejected scopes") +
         (counts.unusable_members > 0
              ? ", " + count_of(counts.unusable_members, "unusable member", "unusable members")
              : std::string()) +
         "; " + count_of(counts.errors, "error", "errors") + ", " +
         count_of(counts.warnings, "warning", "warnings") + ", " +
         count_of(counts.notes, "note", "notes") +
         (counts.accepted > 0 ? "; " + grouped(counts.accepted) + " accepted" : std::string()))
        .end_line();
    if (walk.file && walk.file->stream) {
        line("  read as a stream: the permissions and owner rules do not apply").end_line();
    }
}

style look_of(severity level) {
    switch (level) {
        case severity::error:
            return style::bad;
        case severity::warning:
            return style::warning;
        case severity::note:
            break;
    }
    return style::dim;
}

// Where a finding stands: "line 8:5", or "inventory.ini:12:5" for one in another file, its
// path escaped and masked.
std::string position_of(const finding& f, const secret_mask& mask) {
    if (f.file.empty()) {
        return position_of(f.at);
    }
    std::string at = masked_text(f.file, mask, terminal_text);
    if (f.at.known()) {
        at += ":" + std::to_string(f.at.line) + ":" + std::to_string(f.at.column);
    }
    return at;
}

// Each finding on a line: where, how much it matters, its rule, and what was found.
// Those a suppression accepts are counted in the summary, not listed: they are settled.
void write_findings(terminal_writer& line, const file_report& r) {
    if (r.summary.findings == 0) {
        return;
    }
    line.end_line();
    heading(line, "Findings", r.summary.findings);
    std::size_t column = 0;
    for (const finding& f : r.findings) {
        column = std::max(column, f.accepted ? 0 : terminal_width(position_of(f, *r.mask)));
    }
    for (const finding& f : r.findings) {
        if (f.accepted) {
            continue;
        }
        line("  " + position_of(f, *r.mask)).pad_to(column + 4, 2);
        line(std::string(severity_name(f.level)), look_of(f.level)).pad_to(column + 13, 1);
        line(std::string(f.rule->id) + ": ", look_of(f.level))(f.message).end_line();
    }
}

// With --inventory: how many of the inventories' hosts the file covers, and how many of its keys
// reach hosts outside them; the findings name which.
void write_coverage(terminal_writer& line, const file_report& r) {
    if (!r.coverage) {
        return;
    }
    const coverage_report& c = *r.coverage;
    line.end_line();
    line("Coverage", style::heading).end_line();
    line("  inventories: ");
    const std::vector<inventory>& read = c.inventories->inventories;
    for (std::size_t i = 0; i < read.size(); ++i) {
        line(i == 0 ? "" : ", ")
            .file(read[i].path)(" (" + std::string(format_name(read[i].format)) + ")");
    }
    line.end_line();
    line("  " + count_of(c.inventory_hosts, "inventory host", "inventory hosts") + ": " +
         grouped(c.covered) + " covered, " + grouped(c.not_covered) + " not covered" +
         (c.not_covered > 0 ? " (see Findings: no-credential)" : ""))
        .end_line();
    line("  " + count_of(c.keys_outside, "key for a host", "keys for hosts") + " in no inventory" +
         (c.keys_outside > 0 ? " (see Findings: outside-inventory)" : ""))
        .end_line();
}

void write_entries(terminal_writer& line, source_names& names, const file_report& r,
                   const std::vector<const handed_entry*>& entries) {
    line.end_line();
    if (r.host) {
        line("Entries for ", style::heading).file(*r.host, style::heading);
        line(" (" + grouped(entries.size()) + ")", style::heading).end_line();
    } else {
        heading(line, "Entries", entries.size());
    }
    if (entries.empty()) {
        none(line);
        return;
    }
    // Two passes, each over one user's keys at a time while they are at hand: the first puts
    // them in reading order and finds the width of the key column, the second writes the lines.
    std::vector<const handed_entry*> ordered = entries;
    const auto key_of = [](const handed_entry* entry) -> std::string_view { return *entry->key; };
    const auto together = [](const handed_entry* a, const handed_entry* b) {
        return same_source(a->source, b->source);
    };
    std::size_t column = 0;
    for_each_user(ordered, key_of, [&](std::size_t first, std::size_t end) {
        order_user_keys(ordered, first, end, key_of);
        for_each_run(ordered, first, end, r.all_keys, key_of, together, [&](const key_run& run) {
            const std::size_t width =
                keys_width(*ordered[run.first]->key, *ordered[run.last]->key, run.count());
            if (width <= KEY_COLUMN_LIMIT) {
                column = std::max(column, width);
            }
        });
    });
    for_each_user(ordered, key_of, [&](std::size_t first, std::size_t end) {
        for_each_run(ordered, first, end, r.all_keys, key_of, together, [&](const key_run& run) {
            const handed_entry& entry = *ordered[run.first];
            line("  ");
            write_keys(line, *entry.key, *ordered[run.last]->key, run.count());
            line.pad_to(column + 4, 2)(r.password(*entry.value))("  ");
            names(line, entry.source, style::dim).end_line();
        });
    });
}

// Keys whose host differs from --host only in letter case: the tools would not find them.
void write_case_variants(terminal_writer& line, const file_report& r) {
    const std::vector<const handed_entry*> variants = case_variants(r);
    if (variants.empty()) {
        return;
    }
    line("  note: ", style::warning)(count_of(variants.size(), "key differs", "keys differ") +
                                     " only in letter case, and the tools, which look keys up "
                                     "byte for byte, would not find them for ")
        .file (*r.host)(": ")
        .key(*variants.front()->key);
    if (variants.size() > 1) {
        line(", \xe2\x80\xa6");
    }
    line.end_line();
}

// One dropped entry of a shadowed key, and whether its password differs from the kept one.
void write_dropped(terminal_writer& line, source_names& names, const file_report& r,
                   entry_source source, std::string_view kept_value) {
    const std::string_view value = source_password(r.walk, source);
    names(line.pad_to(4)("dropped "), source);
    if (r.reveal) {
        line(" '").file(value)("'");
    }
    if (value == kept_value) {
        line(", the same password");
    } else {
        line(", a different password", style::warning);
    }
    line.end_line();
}

bool same_shadow(const shadowed_key& a, const shadowed_key& b, const file_walk& walk) {
    return same_source(walk.entries[a.entry].source, walk.entries[b.entry].source) &&
           a.dropped == b.dropped && a.different == b.different &&
           std::equal(a.first_dropped.begin(), a.first_dropped.end(), b.first_dropped.begin(),
                      b.first_dropped.end(), same_source);
}

// The keys of one run of shadowed keys: the entry that holds them, and the ones dropped.
void write_shadowed_run(terminal_writer& line, source_names& names, const file_report& r,
                        const std::vector<const shadowed_key*>& ordered, const key_run& run) {
    const file_walk& walk = r.walk;
    const shadowed_key& key = *ordered[run.first];
    const handed_entry& kept = walk.entries[key.entry];
    line("  ");
    write_keys(line, *kept.key, *walk.entries[ordered[run.last]->entry].key, run.count());
    names(line(": kept "), kept.source);
    if (r.reveal) {
        line(" '").file (*kept.value)("'");
    }
    line.end_line();
    for (const entry_source& dropped : key.first_dropped) {
        write_dropped(line, names, r, dropped, *kept.value);
    }
    if (key.dropped > key.first_dropped.size()) {
        line.pad_to(4)(
                "and " +
                count_of(key.dropped - key.first_dropped.size(), "more entry", "more entries") +
                (run.last > run.first ? " for each key" : "") + " (" + grouped(key.different) +
                " of all " + grouped(key.dropped) + " with a different password)")
            .end_line();
    }
}

void write_shadowed(terminal_writer& line, source_names& names, const file_report& r) {
    const file_walk& walk = r.walk;
    if (walk.shadowed.empty()) {
        return;
    }
    line.end_line();
    heading(line, "Shadowed keys", walk.shadowed.size());
    std::vector<const shadowed_key*> ordered;
    ordered.reserve(walk.shadowed.size());
    for (const shadowed_key& key : walk.shadowed) {
        ordered.push_back(&key);
    }
    const auto key_of = [&](const shadowed_key* key) -> std::string_view {
        return *walk.entries[key->entry].key;
    };
    const auto together = [&](const shadowed_key* a, const shadowed_key* b) {
        return same_shadow(*a, *b, walk);
    };
    for_each_user(ordered, key_of, [&](std::size_t first, std::size_t end) {
        order_user_keys(ordered, first, end, key_of);
        for_each_run(ordered, first, end, r.all_keys, key_of, together,
                     [&](const key_run& run) { write_shadowed_run(line, names, r, ordered, run); });
    });
}

void write_records(terminal_writer& line, const file_report& r) {
    line.end_line();
    heading(line, "Log records", r.records.size());
    if (r.records.empty()) {
        none(line);
    }
    for (const Kelvor::LogRecord& record : r.records) {
        line("  [" + std::to_string(record.level) + "] " + record.file + ":" +
             std::to_string(record.line) + "  ")
            .file(record.text)
            .end_line();
    }
}

void write_members(terminal_writer& line, const file_report& r) {
    const file_walk& walk = r.walk;
    if (walk.document_error) {
        const document_problem& problem = *walk.document_error;
        line("  document: ")("does not parse", style::bad)(
            ": " + problem.message + " at line " + std::to_string(problem.at.line) + ", column " +
            std::to_string(problem.at.column))
            .end_line();
    } else if (!walk.document_is_object) {
        line("  document: ")(
            "parsed, but it is " + walk.document_kind + ", not an object: no member binds",
            style::bad)
            .end_line();
    } else {
        line("  document: parsed").end_line();
    }
    for (const member_state& member : r.members) {
        line("  " + std::string(detail::member_key(member.id)) + ": ");
        if (member.outcome.how == member_outcome::state::unusable) {
            line(member.outcome.problem, style::bad);
        } else {
            line(member.description);
        }
        line.end_line();
    }
}

// Entries skipped: their findings say which and why.
void write_skipped(terminal_writer& line, const file_walk& walk) {
    if (walk.unknown_aliases.empty() && walk.rejected_scopes.empty()) {
        return;
    }
    line("  entries skipped: " +
         count_of(walk.unknown_aliases.size(), "unknown alias", "unknown aliases") + ", " +
         count_of(walk.rejected_scopes.size(), "rejected scope", "rejected scopes") +
         " (see Findings: unknown-alias, rejected-scope)")
        .end_line();
}

void write_diagnostics(terminal_writer& line, const file_report& r) {
    const file_walk& walk = r.walk;
    line.end_line();
    line("Why keys are missing", style::heading).end_line();
    if (walk.refusal) {
        line("  file: ")("cannot be read", style::bad)(": " + walk.refusal->reason).end_line();
        return;
    }
    write_members(line, r);
    write_skipped(line, walk);
}

void write_targets(terminal_writer& line, const file_walk& walk) {
    const std::vector<std::string>& targets = walk.record.target_systems;
    if (targets.empty()) {
        return;
    }
    line.end_line();
    heading(line, "Targets", targets.size());
    std::vector<std::string> outcome(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        outcome[i] = count_of(walk.expanded[i], "address", "addresses");
    }
    for (const entry_source& unknown : walk.unknown_aliases) {
        if (unknown.member == member_id::target_systems) {
            outcome[unknown.index] = "unknown alias";
        }
    }
    for (const entry_source& rejected : walk.rejected_scopes) {
        outcome[rejected.index] = "host scope refused";
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        write_source(line("  "), walk, {member_id::target_systems, i}, true)(": " + outcome[i])
            .end_line();
    }
}

}  // namespace

void write_human_report(std::ostream& out, const file_report& r, bool colour) {
    terminal_writer line(out, *r.mask, colour);
    line("credcheck: ").file(r.walk.path).end_line();
    line.end_line();
    write_result(line, r);
    write_findings(line, r);
    write_coverage(line, r);
    source_names names(r.walk);
    write_entries(line, names, r, shown_entries(r));
    if (r.host) {
        write_case_variants(line, r);
        return;
    }
    write_shadowed(line, names, r);
    write_records(line, r);
    write_diagnostics(line, r);
    if (r.verbose) {
        write_targets(line, r.walk);
    }
}

namespace {

// Each file's report in turn, a blank line between two.
class text_reporter final : public reporter {
public:
    text_reporter(std::ostream& out, const render_settings& settings)
        : out_(out), colour_(settings.colour) {}

    void file(const file_report& report) override {
        if (files_++ > 0) {
            out_ << '\n';
        }
        write_human_report(out_, report, colour_);
    }

private:
    std::ostream& out_;
    bool colour_;
    std::size_t files_ = 0;
};

}  // namespace

std::unique_ptr<reporter> make_text_reporter(std::ostream& out, const render_settings& settings) {
    return std::make_unique<text_reporter>(out, settings);
}

}  // namespace credcheck
