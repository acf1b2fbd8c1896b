#include "model/Baseline.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <tuple>
#include <utility>

#include <boost/json.hpp>

#include "findings/Suppressions.h"
#include "render/JsonWriter.h"

namespace credcheck {

namespace {

std::string key_of(std::string_view rule, std::string_view file, std::string_view subject) {
    std::string key(rule);
    key += '\0';
    key += file;
    key += '\0';
    key += subject;
    return key;
}

// The member `name` of `entry`, a string, or "" when it has none.
std::string string_member(const boost::json::object& entry, std::string_view name,
                          std::size_t index) {
    const boost::json::value* value = entry.if_contains(name);
    if (value == nullptr) {
        return {};
    }
    if (!value->is_string()) {
        throw baseline_error("entry " + std::to_string(index) + ": \"" + std::string(name) +
                             "\" is no string");
    }
    return std::string(value->get_string());
}

// The subject as a message shows it, in double quotes (it may hold single ones): its parts
// divided by " / " rather than line ends.
report_text shown_subject(const std::string& subject) {
    std::string shown;
    for (const char c : subject) {
        shown += c == '\n' ? std::string(" / ") : std::string(1, c);
    }
    report_text text("\"");
    text << file_text{shown} << "\"";
    return text;
}

}  // namespace

baseline::baseline(std::vector<baseline_entry> entries)
    : entries_(std::move(entries)), used_(entries_.size(), false) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        by_key_.emplace(key_of(entries_[i].rule, entries_[i].file, entries_[i].subject), i);
    }
}

baseline baseline::read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw baseline_error("cannot read the baseline " + path);
    }
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    boost::system::error_code error;
    const boost::json::value document = boost::json::parse(text, error);
    if (error) {
        throw baseline_error("the baseline is no JSON: " + error.message());
    }
    const boost::json::object* top = document.if_object();
    const boost::json::value* version =
        top != nullptr ? top->if_contains("format_version") : nullptr;
    const boost::json::value* list = top != nullptr ? top->if_contains("entries") : nullptr;
    if (version == nullptr || !version->is_int64() ||
        version->get_int64() != BASELINE_FORMAT_VERSION || list == nullptr || !list->is_array()) {
        throw baseline_error("the baseline is not of format_version " +
                             std::to_string(BASELINE_FORMAT_VERSION) + " with a list of entries");
    }
    std::vector<baseline_entry> entries;
    for (std::size_t i = 0; i < list->get_array().size(); ++i) {
        const boost::json::object* entry = list->get_array()[i].if_object();
        if (entry == nullptr) {
            throw baseline_error("entry " + std::to_string(i) + " is no object");
        }
        baseline_entry read{string_member(*entry, "rule", i),    string_member(*entry, "file", i),
                            string_member(*entry, "subject", i), string_member(*entry, "digest", i),
                            string_member(*entry, "reason", i),  string_member(*entry, "until", i)};
        if (find_rule(read.rule) == nullptr) {
            throw baseline_error("entry " + std::to_string(i) + " names no rule of credcheck");
        }
        entries.push_back(std::move(read));
    }
    return baseline(std::move(entries));
}

void baseline::apply(const std::string& file, std::vector<finding>& findings,
                     const secret_mask& own, const fingerprint_key* key,
                     const finding_settings& settings) {
    const std::string today = settings.today.empty() ? today_utc() : settings.today;
    for (finding& f : findings) {
        if (f.accepted || !can_be_baselined(f.rule->which)) {
            continue;
        }
        std::string subject = own.apply(f.subject);
        const auto [first, last] = by_key_.equal_range(key_of(f.rule->id, file, subject));
        plain_text_detail::wipe_string(subject);
        std::optional<std::string> digest;
        for (auto match = first; match != last; ++match) {
            const baseline_entry& entry = entries_[match->second];
            if (used_[match->second] || (!entry.until.empty() && entry.until < today)) {
                continue;
            }
            if (!entry.digest.empty()) {
                if (key == nullptr || !f.password) {
                    continue;
                }
                if (!digest) {
                    digest = key->digest(*f.password);
                }
                if (*digest != entry.digest) {
                    continue;
                }
            }
            used_[match->second] = true;
            f.accepted = acceptance{acceptance::kind::baseline, entry.reason, {}};
            break;
        }
    }
    std::vector<finding> problems;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const baseline_entry& entry = entries_[i];
        if (used_[i] || entry.file != file) {
            continue;
        }
        const bool ended = !entry.until.empty() && entry.until < today;
        const rule which = ended ? rule::expired_suppression : rule::unused_suppression;
        if (is_ignored(settings, which)) {
            continue;
        }
        report_text message("the baseline's entry of " + entry.rule + " for ");
        message << shown_subject(entry.subject);
        if (ended) {
            message << " ended on " + entry.until + ": its findings count again";
        } else {
            message << " accepts no finding";
            if (!entry.digest.empty() && key == nullptr) {
                message << " (it holds a password's digest: give the key it was written with)";
            }
        }
        const rule_info& info = info_of(which);
        problems.push_back({&info,
                            info.level,
                            std::move(message),
                            {},
                            std::nullopt,
                            "baseline\n" + entry.rule + "\n" + entry.subject,
                            std::nullopt,
                            std::nullopt,
                            {}});
    }
    // Findings about the file as a whole stand first.
    findings.insert(findings.begin(), std::make_move_iterator(problems.begin()),
                    std::make_move_iterator(problems.end()));
}

baseline_entry baseline::entry_for(const std::string& file, const finding& f,
                                   const secret_mask& own, const fingerprint_key* key) const {
    baseline_entry entry{std::string(f.rule->id), file, own.apply(f.subject), {}, {}, {}};
    if (key != nullptr && f.password) {
        entry.digest = key->digest(*f.password);
    }
    const auto [first, last] = by_key_.equal_range(key_of(entry.rule, file, entry.subject));
    for (auto match = first; match != last; ++match) {
        const baseline_entry& kept = entries_[match->second];
        if (kept.digest.empty() || kept.digest == entry.digest) {
            entry.reason = kept.reason;
            entry.until = kept.until;
            break;
        }
    }
    return entry;
}

std::vector<baseline_entry> baseline::entries_outside(const std::vector<std::string>& files) const {
    std::vector<baseline_entry> kept;
    std::copy_if(entries_.begin(), entries_.end(), std::back_inserter(kept),
                 [&](const baseline_entry& entry) {
                     return std::find(files.begin(), files.end(), entry.file) == files.end();
                 });
    return kept;
}

void write_baseline(std::ostream& out, std::vector<baseline_entry> entries) {
    const auto order = [](const baseline_entry& e) {
        return std::tie(e.file, e.rule, e.subject, e.digest, e.reason, e.until);
    };
    std::sort(
        entries.begin(), entries.end(),
        [&](const baseline_entry& a, const baseline_entry& b) { return order(a) < order(b); });
    // Subjects are masked already and reasons are the team's words: nothing to mask here.
    const secret_mask nothing;
    json_writer json(out, nothing);
    json.begin_object();
    json.key("format_version").value(BASELINE_FORMAT_VERSION);
    json.key("entries").begin_array();
    for (const baseline_entry& entry : entries) {
        json.begin_object(true);
        json.key("rule").value(file_text{entry.rule});
        json.key("file").value(file_text{entry.file});
        json.key("subject").value(file_text{entry.subject});
        for (const auto& [name, value] :
             {std::pair{"digest", &entry.digest}, std::pair{"reason", &entry.reason},
              std::pair{"until", &entry.until}}) {
            if (!value->empty()) {
                json.key(name).value(file_text{*value});
            }
        }
        json.end_object();
    }
    json.end_array();
    json.end_object();
    json.finish();
}

bool can_be_baselined(rule which) {
    return which != rule::invalid_suppression && which != rule::expired_suppression &&
           which != rule::unused_suppression;
}

}  // namespace credcheck
