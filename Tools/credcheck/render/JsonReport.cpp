#include "render/JsonReport.h"

#include <algorithm>
#include <string>

namespace credcheck {

namespace {

namespace detail = plain_text_detail;

void write_position(json_writer& json, text_position at) {
    if (at.known()) {
        json.key("line").value(std::uint64_t{at.line});
        json.key("column").value(std::uint64_t{at.column});
    } else {
        json.key("line").null();
        json.key("column").null();
    }
}

// A key, its value, its source, and, when other entries asked for it too, how many did, how
// many of them with another password, and the first of them.
void write_entry(json_writer& json, const file_report& r, const handed_entry& entry,
                 const shadowed_key* shadow, bool source_inline) {
    json.begin_object(true);
    json.key("key").value(key_text{*entry.key});
    json.key("value").value(r.password(*entry.value));
    json.key("source");
    if (source_inline) {
        write_source(json, r.walk, entry.source);
    } else {
        json.value(std::uint64_t{source_number(r.walk, entry.source)});
    }
    if (shadow != nullptr) {
        json.key("dropped").value(std::uint64_t{shadow->dropped});
        json.key("different").value(std::uint64_t{shadow->different});
        json.key("first_dropped").begin_array(true);
        for (const entry_source& source : shadow->first_dropped) {
            if (source_inline) {
                write_source(json, r.walk, source);
            } else {
                json.value(std::uint64_t{source_number(r.walk, source)});
            }
        }
        json.end_array();
    }
    json.end_object();
}

void write_records(json_writer& json, const file_report& r) {
    json.begin_array();
    for (const Kelvor::LogRecord& record : r.records) {
        json.begin_object(true);
        json.key("level").value(record.level);
        json.key("file").value(record.file);
        json.key("line").value(record.line);
        json.key("text").value(file_text{record.text});
        json.end_object();
    }
    json.end_array();
}

void write_members(json_writer& json, const file_report& r) {
    json.begin_array();
    for (const member_state& member : r.members) {
        json.begin_object(true);
        json.key("key").value(detail::member_key(member.id));
        json.key("state").value(member.name);
        json.key("bound");
        if (member.outcome.how == member_outcome::state::bound) {
            json.value(std::uint64_t{member.outcome.items});
        } else {
            json.null();
        }
        json.key("problem");
        if (member.outcome.how == member_outcome::state::unusable) {
            json.value(member.outcome.problem);
        } else {
            json.null();
        }
        json.end_object();
    }
    json.end_array();
}

void write_diagnostics(json_writer& json, const file_report& r) {
    const file_walk& walk = r.walk;
    json.begin_object();
    json.key("file_error");
    if (walk.refusal) {
        json.value(walk.refusal->reason);
    } else {
        json.null();
    }
    json.key("parse_error");
    if (walk.document_error) {
        json.begin_object(true);
        json.key("message").value(walk.document_error->message);
        write_position(json, walk.document_error->at);
        json.end_object();
    } else {
        json.null();
    }
    json.key("keys");
    write_members(json, r);
    json.key("unknown_aliases").begin_array();
    for (const entry_source& source : walk.unknown_aliases) {
        json.begin_object(true);
        json.key("source").value(std::uint64_t{source_number(walk, source)});
        json.key("alias").value(file_text{source_alias(walk, source)});
        write_position(json, source_position(walk, source));
        json.end_object();
    }
    json.end_array();
    json.key("rejected_scopes").begin_array();
    for (const entry_source& source : walk.rejected_scopes) {
        json.begin_object(true);
        json.key("source").value(std::uint64_t{source_number(walk, source)});
        json.key("scope").value(
            file_text{detail::split_target_entry(source_entry(walk, source)).scope});
        write_position(json, source_position(walk, source));
        json.end_object();
    }
    json.end_array();
    json.end_object();
}

// With --inventory: the counts of the Coverage section; the findings name the hosts and keys.
void write_coverage(json_writer& json, const coverage_report& c) {
    json.begin_object(true);
    json.key("inventory_hosts").value(std::uint64_t{c.inventory_hosts});
    json.key("covered").value(std::uint64_t{c.covered});
    json.key("not_covered").value(std::uint64_t{c.not_covered});
    json.key("keys_outside").value(std::uint64_t{c.keys_outside});
    json.end_object();
}

void write_findings(json_writer& json, const file_report& r) {
    json.begin_array();
    for (const finding& f : r.findings) {
        json.begin_object(true);
        json.key("rule").value(f.rule->id);
        json.key("severity").value(severity_name(f.level));
        json.key("message").value(f.message);
        if (!f.file.empty()) {
            json.key("file").value(file_text{f.file});
        }
        write_position(json, f.at);
        json.key("source");
        if (f.source) {
            json.value(std::uint64_t{source_number(r.walk, *f.source)});
        } else {
            json.null();
        }
        json.key("suppression");
        if (f.accepted) {
            json.begin_object(true);
            json.key("kind").value(acceptance_kind_name(f.accepted->how));
            json.key("justification").value(file_text{f.accepted->reason});
            write_position(json, f.accepted->at);
            json.end_object();
        } else {
            json.null();
        }
        json.end_object();
    }
    json.end_array();
}

void write_summary(json_writer& json, const file_report& r) {
    const report_summary& counts = r.summary;
    json.begin_object();
    json.key("entries").value(std::uint64_t{counts.entries});
    json.key("shadowed").value(std::uint64_t{counts.shadowed});
    json.key("unknown_aliases").value(std::uint64_t{counts.unknown_aliases});
    json.key("rejected_scopes").value(std::uint64_t{counts.rejected_scopes});
    json.key("unusable_members").value(std::uint64_t{counts.unusable_members});
    json.key("findings").value(std::uint64_t{counts.findings});
    json.key("errors").value(std::uint64_t{counts.errors});
    json.key("warnings").value(std::uint64_t{counts.warnings});
    json.key("notes").value(std::uint64_t{counts.notes});
    json.key("accepted").value(std::uint64_t{counts.accepted});
    json.end_object();
}

}  // namespace

void write_source(json_writer& json, const file_walk& walk, entry_source source) {
    json.begin_object(true);
    json.key("member").value(detail::member_key(source.member));
    json.key("index").value(std::uint64_t{source.index});
    json.key("entry");
    if (detail::is_password_member(source.member)) {
        json.null();
    } else {
        json.value(file_text{source_entry(walk, source)});
    }
    write_position(json, source_position(walk, source));
    json.end_object();
}

void write_sources(json_writer& json, const file_walk& walk) {
    json.begin_array();
    const std::size_t count = source_count(walk);
    for (std::size_t i = 0; i < count; ++i) {
        write_source(json, walk, source_numbered(walk, i));
    }
    json.end_array();
}

void write_result(json_writer& json, const CorvexResult& result) {
    const result_description description = describe_result(result.code);
    json.begin_object();
    json.key("code").value(result.code);
    json.key("hex").value(description.hex);
    json.key("name").value(description.name);
    json.key("message").value(description.message);
    json.key("detail").value(result.message);
    json.end_object();
}

void write_json_report(std::ostream& out, const file_report& r) {
    json_writer json(out, *r.mask);
    json.begin_object();
    json.key("format_version").value(JSON_REPORT_FORMAT_VERSION);
    json.key("file").value(file_text{r.walk.path});
    if (r.host) {
        json.key("host").value(file_text{*r.host});
        json.key("result");
        write_result(json, r.walk.result);
        json.key("entries").begin_array();
        for (const handed_entry* entry : shown_entries(r)) {
            write_entry(json, r, *entry,
                        shadow_of(r, static_cast<std::size_t>(entry - r.walk.entries.data())),
                        true);
        }
        json.end_array();
        json.key("case_variants").begin_array();
        for (const handed_entry* entry : case_variants(r)) {
            json.value(key_text{*entry->key});
        }
        json.end_array();
    } else {
        json.key("result");
        write_result(json, r.walk.result);
        json.key("summary");
        write_summary(json, r);
        if (r.coverage) {
            json.key("coverage");
            write_coverage(json, *r.coverage);
        }
        json.key("sources");
        write_sources(json, r.walk);
        json.key("entries").begin_array();
        // Both lists are in key order: the shadowed keys are met as the entries go.
        auto shadow = r.walk.shadowed.begin();
        for (std::size_t i = 0; i < r.walk.entries.size(); ++i) {
            const bool shadowed = shadow != r.walk.shadowed.end() && shadow->entry == i;
            write_entry(json, r, r.walk.entries[i], shadowed ? &*shadow : nullptr, false);
            if (shadowed) {
                ++shadow;
            }
        }
        json.end_array();
        json.key("findings");
        write_findings(json, r);
        json.key("records");
        write_records(json, r);
        json.key("diagnostics");
        write_diagnostics(json, r);
    }
    json.end_object();
    json.finish();
}

namespace {

// One file: its object. Several: an array of them.
class json_reporter final : public reporter {
public:
    explicit json_reporter(std::ostream& out) : out_(out) {}

    void begin(const run_start& run) override {
        array_ = run.names.size() > 1;
        if (array_) {
            out_ << "[\n";
        }
    }
    void file(const file_report& report) override {
        if (array_ && files_++ > 0) {
            out_ << ",\n";
        }
        write_json_report(out_, report);
    }
    void end() override {
        if (array_) {
            out_ << "]\n";
        }
    }

private:
    std::ostream& out_;
    bool array_ = false;
    std::size_t files_ = 0;
};

}  // namespace

std::unique_ptr<reporter> make_json_reporter(std::ostream& out, const render_settings&) {
    return std::make_unique<json_reporter>(out);
}

}  // namespace credcheck
