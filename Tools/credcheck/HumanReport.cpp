#include "HumanReport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace credcheck {

namespace {

// Wraps text in an ANSI colour when colouring is on.
class painter {
public:
    explicit painter(bool enabled) : enabled_(enabled) {}
    std::string heading(const std::string& text) const { return paint("1", text); }
    std::string good(const std::string& text) const { return paint("32", text); }
    std::string bad(const std::string& text) const { return paint("31", text); }
    std::string warning(const std::string& text) const { return paint("33", text); }
    std::string dim(const std::string& text) const { return paint("2", text); }

private:
    std::string paint(const char* code, const std::string& text) const {
        if (!enabled_) {
            return text;
        }
        return std::string("\033[") + code + "m" + text + "\033[0m";
    }
    bool enabled_;
};

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

void write_result(std::ostream& out, const report& r, const painter& paint) {
    const result_description description = describe_result(r.result.code);
    const bool succeeded = exit_status_for(r.result) == 0;
    out << paint.heading("Result") << '\n'
        << "  " << (succeeded ? paint.good(description.name) : paint.bad(description.name)) << ' '
        << description.hex << "  " << description.message << '\n'
        << "  detail: " << (r.result.message.empty() ? paint.dim("(none)") : r.result.message)
        << '\n';
}

void write_entries(std::ostream& out, const report& r, const painter& paint) {
    out << paint.heading("Entries (" + std::to_string(r.entries.size()) + ")") << '\n';
    if (r.entries.empty()) {
        out << "  " << paint.dim("(none)") << '\n';
        return;
    }
    std::size_t width = 0;
    for (const auto& entry : r.entries) {
        width = std::max(width, entry.first.size());
    }
    for (const auto& [key, password] : r.entries) {
        out << "  " << key << std::string(width - key.size() + 2, ' ')
            << shown_password(password, r.reveal) << '\n';
    }
}

void write_records(std::ostream& out, const report& r, const painter& paint) {
    out << paint.heading("Log records (" + std::to_string(r.records.size()) + ")") << '\n';
    if (r.records.empty()) {
        out << "  " << paint.dim("(none)") << '\n';
    }
    for (const Kelvor::LogRecord& record : r.records) {
        out << "  [" << record.level << "] " << record.file << ':' << record.line << "  "
            << record.text << '\n';
    }
}

void write_key_bindings(std::ostream& out, const diagnostics& diag, const painter& paint) {
    if (diag.parse_error) {
        const parse_failure& failure = *diag.parse_error;
        out << "  document: " << paint.bad("does not parse") << ": " << failure.message
            << " at line " << failure.line << ", column " << failure.column << '\n';
    } else {
        out << "  document: parsed\n";
    }
    for (const key_binding& key : diag.keys) {
        out << "  " << key.key << ": ";
        if (diag.parse_error) {
            // Every key fails alike; the document line above says why.
            out << paint.bad("bound nothing") << " (the document does not parse)\n";
        } else if (!key.bound) {
            out << paint.bad("bound nothing") << ": " << key.failure.value_or("") << '\n';
        } else if (*key.bound == 0) {
            out << "bound 0 (empty: hands out nothing)\n";
        } else {
            out << "bound " << *key.bound << '\n';
        }
    }
}

void write_unknown_aliases(std::ostream& out, const diagnostics& diag) {
    for (const unknown_alias& unknown : diag.unknown_aliases) {
        out << "  " << unknown.list << " entry " << quoted(unknown.entry);
        if (unknown.entry != unknown.alias) {
            out << " (alias " << quoted(unknown.alias) << ")";
        }
        out << ": no credential under that alias; skipped\n";
    }
}

void write_diagnostics(std::ostream& out, const report& r, const painter& paint) {
    out << paint.heading("Why keys are missing") << '\n';
    if (r.diag.file_error) {
        out << "  file: " << paint.bad("cannot be read") << ": " << *r.diag.file_error << '\n';
        return;
    }
    write_key_bindings(out, r.diag, paint);
    write_unknown_aliases(out, r.diag);
}

}  // namespace

void write_human_report(std::ostream& out, const report& r, bool colour) {
    const painter paint(colour);
    out << "credcheck: " << r.file << "\n\n";
    write_result(out, r, paint);
    out << '\n';
    write_entries(out, r, paint);
    out << '\n';
    write_records(out, r, paint);
    out << '\n';
    write_diagnostics(out, r, paint);
    if (r.diag.permissions) {
        out << '\n' << paint.warning("warning: ") << *r.diag.permissions << '\n';
    }
}

bool colour_wanted() {
    return ::isatty(STDOUT_FILENO) == 1 && std::getenv("NO_COLOR") == nullptr;
}

}  // namespace credcheck
