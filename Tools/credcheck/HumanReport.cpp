#include "HumanReport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "TerminalWriter.h"

namespace credcheck {

namespace {

std::string count_of(std::size_t count, const char* one, const char* many) {
    return grouped(count) + " " + (count == 1 ? one : many);
}

void heading(terminal_writer& line, const std::string& title, std::size_t count) {
    line(title + " (" + grouped(count) + ")", style::heading).end_line();
}

void none(terminal_writer& line) {
    line("  ")("(none)", style::dim).end_line();
}

void write_result(terminal_writer& line, const report& r) {
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
    line("  " + count_of(walk.entries.size(), "entry", "entries") + ", " +
         count_of(walk.shadowed.size(), "shadowed key", "shadowed keys") + ", " +
         count_of(walk.unknown_aliases.size(), "unknown alias", "unknown aliases") + ", " +
         count_of(walk.rejected_scopes.size(), "rejected scope", "rejected scopes") + ", " +
         count_of(r.warnings.size(), "warning", "warnings") +
         (unusable_members(walk) > 0
              ? ", " + count_of(unusable_members(walk), "unusable member", "unusable members")
              : std::string()))
        .end_line();
}

void write_warnings(terminal_writer& line, const report& r) {
    if (r.warnings.empty()) {
        return;
    }
    line.end_line();
    heading(line, "Warnings", r.warnings.size());
    for (const warning& w : r.warnings) {
        line("  ")(w.kind + ": ", style::warning)(w.message).end_line();
    }
}

void write_entries(terminal_writer& line, const report& r,
                   const std::vector<const handed_entry*>& entries) {
    line.end_line();
    heading(line, r.host ? "Entries for " + *r.host : std::string("Entries"), entries.size());
    if (entries.empty()) {
        none(line);
        return;
    }
    std::size_t column = 0;
    for (const handed_entry* entry : entries) {
        const std::size_t width = terminal_writer::width_of(entry->key);
        if (width <= KEY_COLUMN_LIMIT) {
            column = std::max(column, width);
        }
    }
    for (const handed_entry* entry : entries) {
        line("  ")(entry->key)
            .pad_to(column + 4, 2)(shown_password(entry->value, r.reveal))("  ")(
                described_source(r.walk, entry->source), style::dim)
            .end_line();
    }
}

void write_shadowed(terminal_writer& line, const report& r) {
    const file_walk& walk = r.walk;
    if (walk.shadowed.empty()) {
        return;
    }
    line.end_line();
    heading(line, "Shadowed keys", walk.shadowed.size());
    for (const shadowed_key& key : walk.shadowed) {
        line("  ")(key.key)(": kept ")(described_source(walk, key.kept));
        if (r.reveal) {
            line(" " + quoted(key.kept_value));
        }
        line.end_line();
        for (const dropped_value& dropped : key.dropped) {
            line.pad_to(4)("dropped ")(described_source(walk, dropped.source));
            if (r.reveal) {
                line(" " + quoted(dropped.value));
            }
            if (dropped.value == key.kept_value) {
                line(" (the same password)");
            } else {
                line(" (a different password)", style::warning);
            }
            line.end_line();
        }
    }
}

void write_records(terminal_writer& line, const report& r) {
    line.end_line();
    heading(line, "Log records", r.records.size());
    if (r.records.empty()) {
        none(line);
    }
    for (const Kelvor::LogRecord& record : r.records) {
        line("  [" + std::to_string(record.level) + "] " + record.file + ":" +
             std::to_string(record.line) + "  " + record.text)
            .end_line();
    }
}

std::string member_state(const member_outcome& member, member_id id) {
    using state = member_outcome::state;
    switch (member.how) {
        case state::not_reached:
            return "not read";
        case state::absent:
            return "absent (optional: hands out nothing)";
        case state::unusable:
            return member.problem;
        case state::bound:
            break;
    }
    if (member.items == 0) {
        return "empty (hands out nothing)";
    }
    switch (plain_text_detail::facts_of(id).kind) {
        case plain_text_detail::member_kind::password:
            return "set";
        case plain_text_detail::member_kind::credentials:
            return count_of(member.items, "credential", "credentials");
        case plain_text_detail::member_kind::list:
            break;
    }
    if (id == member_id::target_systems) {
        return count_of(member.items, "target", "targets");
    }
    return count_of(member.items, "alias", "aliases");
}

void write_members(terminal_writer& line, const file_walk& walk) {
    if (walk.document_error) {
        const document_problem& problem = *walk.document_error;
        line("  document: ")("does not parse", style::bad)(
            ": " + problem.message + " at line " + std::to_string(problem.line) + ", column " +
            std::to_string(problem.column))
            .end_line();
    } else if (walk.document_kind != "an object") {
        line("  document: ")(
            "parsed, but it is " + walk.document_kind + ", not an object: no member binds",
            style::bad)
            .end_line();
    } else {
        line("  document: parsed").end_line();
    }
    for (std::size_t i = 0; i < MEMBER_COUNT; ++i) {
        const auto id = static_cast<member_id>(i);
        const member_outcome& member = walk.members[i];
        line("  " + std::string(plain_text_detail::member_key(id)) + ": ");
        line(member_state(member, id),
             member.how == member_outcome::state::unusable ? style::bad : style::plain)
            .end_line();
    }
}

void write_skipped(terminal_writer& line, const file_walk& walk) {
    for (const unknown_alias& unknown : walk.unknown_aliases) {
        const std::string entry = source_entry(walk, unknown.source);
        line("  " + described_source(walk, unknown.source) + ": no credential under ");
        line(entry == unknown.alias ? "that alias" : "the alias " + quoted(unknown.alias));
        line("; skipped").end_line();
    }
    for (const rejected_scope& rejected : walk.rejected_scopes) {
        line("  " + described_source(walk, rejected.source) + ": host scope " +
             quoted(rejected.scope) + " refused by spread_scope_ip; skipped and logged")
            .end_line();
    }
}

void write_diagnostics(terminal_writer& line, const report& r) {
    const file_walk& walk = r.walk;
    line.end_line();
    line("Why keys are missing", style::heading).end_line();
    if (walk.refusal) {
        line("  file: ")("cannot be read", style::bad)(": " + walk.refusal->reason).end_line();
        return;
    }
    write_members(line, walk);
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
    for (const unknown_alias& unknown : walk.unknown_aliases) {
        if (unknown.source.member == member_id::target_systems) {
            outcome[unknown.source.index] = "unknown alias";
        }
    }
    for (const rejected_scope& rejected : walk.rejected_scopes) {
        outcome[rejected.source.index] = "host scope refused";
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        line("  " + described_source(walk, {member_id::target_systems, i}) + ": " + outcome[i])
            .end_line();
    }
}

}  // namespace

void write_human_report(std::ostream& out, const report& r, bool colour) {
    terminal_writer line(out, r.mask, colour);
    line("credcheck: " + r.walk.path).end_line();
    line.end_line();
    write_result(line, r);
    write_warnings(line, r);
    const std::vector<const handed_entry*> entries = shown_entries(r);
    write_entries(line, r, entries);
    if (r.host) {
        return;
    }
    write_shadowed(line, r);
    write_records(line, r);
    write_diagnostics(line, r);
    if (r.verbose) {
        write_targets(line, r.walk);
    }
}

bool colour_wanted() {
    return ::isatty(STDOUT_FILENO) == 1 && std::getenv("NO_COLOR") == nullptr;
}

}  // namespace credcheck
