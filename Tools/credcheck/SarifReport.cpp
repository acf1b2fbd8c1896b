#include "SarifReport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "JsonWriter.h"
#include "Rules.h"
#include "SafeText.h"

namespace credcheck {

namespace {

constexpr const char* SARIF_SCHEMA =
    "https://docs.oasis-open.org/sarif/sarif/v2.1.0/errata01/os/schemas/sarif-schema-2.1.0.json";

// A path as a URI reference: every byte but the unreserved ones and "/" percent-encoded.
std::string uri_escaped(std::string_view path) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string uri;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
            c == '/' || c == '*') {
            uri += c;
        } else {
            uri += '%';
            uri += HEX[byte >> 4];
            uri += HEX[byte & 0xf];
        }
    }
    return uri;
}

// FNV-1a, 64 bits: a hash that is the same on every machine and in every run.
std::uint64_t fnv1a(std::string_view text, std::uint64_t hash = 0xcbf29ce484222325ULL) {
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string hex_of(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

void write_text(json_writer& json, const char* key, std::string_view text) {
    json.key(key).begin_object(true);
    json.key("text").value(text);
    json.end_object();
}

void write_driver(json_writer& json) {
    json.begin_object();
    json.key("name").value("credcheck");
    json.key("version").value(CREDCHECK_VERSION);
    json.key("rules").begin_array();
    for (const rule_info& rule : RULES) {
        json.begin_object();
        json.key("id").value(rule.id);
        write_text(json, "shortDescription", rule.summary);
        write_text(json, "fullDescription", rule.help);
        write_text(json, "help", rule.help);
        json.key("defaultConfiguration").begin_object(true);
        json.key("level").value(severity_name(rule.level));
        json.end_object();
        json.end_object();
    }
    json.end_array();
    json.end_object();
}

// "locations": the artifact `file` of the run, at `uri`, and the region at `at` when it is known.
void write_locations(json_writer& json, const std::string& uri, std::size_t file,
                     text_position at) {
    json.key("locations").begin_array();
    json.begin_object(true);
    json.key("physicalLocation").begin_object(true);
    json.key("artifactLocation").begin_object(true);
    json.key("uri").value(uri);
    json.key("index").value(std::uint64_t{file});
    json.end_object();
    if (at.known()) {
        json.key("region").begin_object(true);
        json.key("startLine").value(std::uint64_t{at.line});
        json.key("startColumn").value(std::uint64_t{at.column});
        json.end_object();
    }
    json.end_object();
    json.end_object();
    json.end_array();
}

// A file that could not be read has no findings, which code scanning would take for a clean
// file: the run says it did not succeed, with a notification per file that was not read. Runs
// that read every file say nothing of it, as before.
void write_unread_files(json_writer& json, const std::vector<const report*>& reports,
                        const std::vector<std::string>& uris) {
    if (std::none_of(reports.begin(), reports.end(),
                     [](const report* r) { return r->walk.refusal.has_value(); })) {
        return;
    }
    json.key("invocations").begin_array();
    json.begin_object();
    json.key("executionSuccessful").value(false);
    json.key("toolExecutionNotifications").begin_array();
    for (std::size_t file = 0; file < reports.size(); ++file) {
        if (!reports[file]->walk.refusal) {
            continue;
        }
        json.begin_object(true);
        json.key("level").value("error");
        json.key("message").begin_object(true);
        json.key("text").value("cannot read the file: " + reports[file]->walk.refusal->reason);
        json.end_object();
        write_locations(json, uris[file], file, {});
        json.end_object();
    }
    json.end_array();
    json.end_object();
    json.end_array();
}

std::size_t rule_index(const rule_info* rule) {
    return static_cast<std::size_t>(rule - RULES);
}

}  // namespace

void write_sarif_report(std::ostream& out, const std::vector<const report*>& reports,
                        const secret_mask& mask) {
    json_writer json(out, mask);
    json.begin_object();
    json.key("$schema").value(SARIF_SCHEMA);
    json.key("version").value("2.1.0");
    json.key("runs").begin_array();
    json.begin_object();
    json.key("tool").begin_object();
    json.key("driver");
    write_driver(json);
    json.end_object();
    json.key("columnKind").value("unicodeCodePoints");
    std::vector<std::string> uris;
    json.key("artifacts").begin_array();
    for (const report* r : reports) {
        uris.push_back(masked_text(r->walk.path, mask, uri_escaped));
        json.begin_object(true);
        json.key("location").begin_object(true);
        json.key("uri").value(uris.back());
        json.end_object();
        json.end_object();
    }
    json.end_array();
    json.key("results").begin_array();
    for (std::size_t file = 0; file < reports.size(); ++file) {
        // Findings with the same rule and subject are told apart by their order. A subject is
        // masked with its own file's passwords only, so that a fingerprint does not change when
        // another file joins the run.
        std::map<std::pair<std::string_view, std::string>, std::size_t> seen;
        for (const finding& f : reports[file]->findings) {
            const std::string subject = reports[file]->mask.apply(f.subject);
            const std::size_t ordinal = seen[{f.rule->id, subject}]++;
            json.begin_object();
            json.key("ruleId").value(f.rule->id);
            json.key("ruleIndex").value(std::uint64_t{rule_index(f.rule)});
            json.key("level").value(severity_name(f.level));
            json.key("message").begin_object(true);
            json.key("text").value(f.message);
            json.end_object();
            write_locations(json, uris[file], file, f.at);
            json.key("partialFingerprints").begin_object(true);
            const std::string separator(1, '\0');
            const std::uint64_t hash = fnv1a(std::string(f.rule->id) + separator + subject +
                                             separator + std::to_string(ordinal));
            json.key("credcheckFinding/v1").value(hex_of(hash));
            json.end_object();
            json.end_object();
        }
    }
    json.end_array();
    write_unread_files(json, reports, uris);
    json.end_object();
    json.end_array();
    json.end_object();
    json.finish();
}

}  // namespace credcheck
