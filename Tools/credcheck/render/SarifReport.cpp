#include "render/SarifReport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "render/JsonWriter.h"
#include "text/SafeText.h"

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

std::size_t rule_index(const rule_info* rule) {
    return static_cast<std::size_t>(rule - RULES.data());
}

// One run over every file: the tool and the files' names first, then each file's results as
// the file comes, then, when some file could not be read, the notifications that say so.
class sarif_reporter final : public reporter {
public:
    explicit sarif_reporter(std::ostream& out) : json_(out, no_mask_) {}

    void begin(const run_start& run) override {
        mask_ = run.mask;
        json_.use_mask(*mask_);
        json_.begin_object();
        json_.key("$schema").value(SARIF_SCHEMA);
        json_.key("version").value("2.1.0");
        json_.key("runs").begin_array();
        json_.begin_object();
        json_.key("tool").begin_object();
        json_.key("driver");
        write_driver(json_);
        json_.end_object();
        json_.key("columnKind").value("unicodeCodePoints");
        json_.key("artifacts").begin_array();
        std::vector<std::string> names = run.names;
        for (const std::string& inventory : run.inventories) {
            inventory_artifacts_.emplace(inventory, names.size());
            names.push_back(inventory);
        }
        for (const std::string& name : names) {
            uris_.push_back(masked_text(name, *mask_, uri_escaped));
            json_.begin_object(true);
            json_.key("location").begin_object(true);
            json_.key("uri").value(uris_.back());
            json_.end_object();
            json_.end_object();
        }
        json_.end_array();
        json_.key("results").begin_array();
    }

    void file(const file_report& r) override {
        const std::size_t file = files_++;
        if (r.walk.refusal) {
            unread_.emplace_back(file, r.walk.refusal->reason);
        }
        const std::vector<std::uint64_t> hashes = fingerprints(r);
        for (std::size_t i = 0; i < r.findings.size(); ++i) {
            const finding& f = r.findings[i];
            json_.begin_object();
            json_.key("ruleId").value(f.rule->id);
            json_.key("ruleIndex").value(std::uint64_t{rule_index(f.rule)});
            json_.key("level").value(severity_name(f.level));
            json_.key("message").begin_object(true);
            json_.key("text").value(f.message);
            json_.end_object();
            const auto inventory = inventory_artifacts_.find(f.file);
            const std::size_t artifact = f.file.empty() || inventory == inventory_artifacts_.end()
                                             ? file
                                             : inventory->second;
            write_locations(json_, uris_.at(artifact), artifact, f.at);
            json_.key("partialFingerprints").begin_object(true);
            json_.key("credcheckFinding/v1").value(hex_of(hashes[i]));
            json_.end_object();
            if (f.accepted) {
                json_.key("suppressions").begin_array();
                json_.begin_object(true);
                json_.key("kind").value(acceptance_kind_name(f.accepted->how));
                json_.key("status").value("accepted");
                json_.key("justification").value(file_text{f.accepted->reason});
                json_.end_object();
                json_.end_array();
            }
            json_.end_object();
        }
    }

    void not_read(std::string_view reason) override {
        unread_.emplace_back(files_++, std::string(reason));
    }

    void end() override {
        json_.end_array();
        write_unread_files();
        json_.end_object();
        json_.end_array();
        json_.end_object();
        json_.finish();
    }

private:
    // A file that could not be read has no findings, which code scanning would take for a clean
    // file: the run says it did not succeed, with a notification per file that was not read.
    // Runs that read every file say nothing of it.
    void write_unread_files() {
        if (unread_.empty()) {
            return;
        }
        json_.key("invocations").begin_array();
        json_.begin_object();
        json_.key("executionSuccessful").value(false);
        json_.key("toolExecutionNotifications").begin_array();
        for (const auto& [file, reason] : unread_) {
            json_.begin_object(true);
            json_.key("level").value("error");
            json_.key("message").begin_object(true);
            json_.key("text").value("cannot read the file: " + reason);
            json_.end_object();
            write_locations(json_, uris_.at(file), file, {});
            json_.end_object();
        }
        json_.end_array();
        json_.end_object();
        json_.end_array();
    }

    // The artifact of each inventory, after the credential files.
    std::map<std::string, std::size_t> inventory_artifacts_;
    const secret_mask no_mask_;
    std::shared_ptr<const secret_mask> mask_;
    json_writer json_;
    std::vector<std::string> uris_;
    std::vector<std::pair<std::size_t, std::string>> unread_;
    std::size_t files_ = 0;
};

}  // namespace

std::unique_ptr<reporter> make_sarif_reporter(std::ostream& out, const render_settings&) {
    return std::make_unique<sarif_reporter>(out);
}

}  // namespace credcheck
