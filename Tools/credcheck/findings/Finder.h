#pragma once
// What the rules share while they look at one walk: the finder that collects their findings, and
// the passwords of the file, each with its owner. For the files that hold rules; not installed.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <PlainTextFileParser/detail/RecordMembers.h>

#include "findings/Findings.h"

namespace credcheck {

// A password of the file, where it is given and whose it is.
struct given_password {
    std::string_view password;
    report_text owner;  // "credential 'ops'", or "privpassword"
    std::string_view user;
    std::string_view alias;
    text_position at;
};

/// The passwords `walk` gives, of its credentials and its two password members, each with its
/// owner and place.
std::vector<given_password> given_passwords(const file_walk& walk);

// Collects the findings of one walk, rule by rule.
class finder {
public:
    finder(const file_walk& walk, const finding_settings& settings)
        : walk_(walk), settings_(settings) {}

    std::vector<finding> take() {
        std::stable_sort(found_.begin(), found_.end(), [](const finding& a, const finding& b) {
            return std::make_pair(a.at.line, a.at.column) < std::make_pair(b.at.line, b.at.column);
        });
        return std::move(found_);
    }

    void add(rule which, std::string subject, report_text message, text_position at = {},
             std::optional<entry_source> source = std::nullopt,
             std::optional<severity> level = std::nullopt) {
        const rule_info& info = info_of(which);
        found_.push_back({&info,
                          level.value_or(info.level),
                          std::move(message),
                          at,
                          source,
                          std::move(subject),
                          std::nullopt,
                          std::nullopt,
                          {}});
    }

    // A finding about one entry of the file, at the entry; `key`, when given, is the key it is
    // about.
    void add_for(rule which, entry_source source, report_text what,
                 std::optional<severity> level = std::nullopt, std::string_view key = {}) {
        report_text message = described_source(walk_, source);
        message << what;
        std::string subject = plain_text_detail::member_key(source.member);
        subject += '\n';
        subject += source_entry(walk_, source);
        subject += '\n';
        subject += key;
        add(which, std::move(subject), std::move(message), source_position(walk_, source), source,
            level);
    }

    // Says that the finding just added stands in the file `path`, not the report's own.
    void in_file(const std::string& path) { found_.back().file = path; }

    // Says that the finding just added is about `password`.
    void about(std::string_view password) { found_.back().password = password; }

    // The passwords of the file, found once for the rules that judge them.
    const std::vector<given_password>& given() {
        if (!given_) {
            given_ = given_passwords(walk_);
        }
        return *given_;
    }

    const file_walk& walk_;
    const finding_settings& settings_;

private:
    std::vector<finding> found_;
    std::optional<std::vector<given_password>> given_;
};

// The rules about passwords themselves (PasswordRules.cpp).
void find_reused_passwords(finder& f);
void find_passwords_in_names(finder& f);
void find_weak_passwords(finder& f);

}  // namespace credcheck
