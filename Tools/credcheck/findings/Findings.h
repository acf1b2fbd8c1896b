#pragma once
// What credcheck finds in a credential file: every silent loss, every entry that leads nowhere,
// every weak or misplaced secret, each with its rule and where the file says it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "findings/PasswordStrength.h"
#include "findings/Rules.h"
#include "findings/RunPasswords.h"
#include "text/ReportText.h"
#include "walk/FileWalk.h"

namespace credcheck {

struct coverage_report;

/// How a finding was accepted: it no longer fails --strict, but stays on record.
struct acceptance {
    enum class kind {
        in_source,  // by a comment of the file
        baseline,   // by an entry of a baseline file
    };
    kind how = kind::in_source;
    /// Why, as the comment or the baseline entry says it; file text. Views the walk's index
    /// (or the baseline), so that one reason accepting many findings is not copied for each.
    std::string_view reason;
    /// Where the comment stands; unknown for a baseline.
    text_position at;
};

/// How reports name the kind of an acceptance: "inSource" or "external", as SARIF does.
inline std::string_view acceptance_kind_name(acceptance::kind how) {
    return how == acceptance::kind::in_source ? "inSource" : "external";
}

/// One thing found.
struct finding {
    const rule_info* rule;
    /// The rule's severity, or a milder one where the case is (a shadowed key with the same
    /// password is a note).
    severity level;
    /// What was found, naming the member, alias or entry concerned; never a password.
    report_text message;
    /// Where the file says it; unknown for what concerns the file as a whole.
    text_position at;
    /// The entry concerned, when one is.
    std::optional<entry_source> source;
    /// What it concerns, by content rather than place (the entry's text, the alias, the member's
    /// name, a key): unchanged when lines are added above it. May hold file text, passwords
    /// included; never shown as it is.
    std::string subject;
    /// Set when a suppression accepts the finding.
    std::optional<acceptance> accepted;
    /// For a finding about one password (weak, shared, in a name, empty...), that password: a
    /// baseline keeps its keyed digest, so that another password is another finding. Views the
    /// walk.
    std::optional<std::string_view> password;
    /// The file it stands in when that is not the report's own: an inventory (--inventory),
    /// as the command line names it. Empty for the report's file.
    std::string file;
};

/// What the rules check, beside the file.
struct finding_settings {
    /// The most entries a file may hand out before many-entries says so.
    std::size_t max_entries = 100'000;
    /// Whether weak-password judges the passwords.
    bool check_password_quality = false;
    /// The fewest bits of guessing (log2 of the guesses) a password may take before
    /// weak-password says so.
    double min_password_bits = DEFAULT_MIN_PASSWORD_BITS;
    /// Rules whose findings are left out.
    std::vector<std::string> ignored;
    /// The day suppressions' end dates are judged against, as YYYY-MM-DD; empty for today in
    /// UTC.
    std::string today;
    /// The passwords of the run's earlier files: reused-password names those this file shares
    /// with one, and adds this file's. Null for a file checked alone.
    run_passwords* earlier_files = nullptr;
    /// The file as the report names it, for earlier_files.
    std::string file_name;
    /// Whether permissions and owner look at the file's mode and owner. The command line leaves
    /// them out for a file in a git work tree, whose mode and owner are the checkout's rather
    /// than its author's, unless --check-file-mode asks for them.
    bool check_file_mode = true;
    /// How far the file covers the inventories of --inventory; null without one.
    const coverage_report* coverage = nullptr;
};

/// Whether `settings` leave the findings of `which` out.
bool is_ignored(const finding_settings& settings, rule which);

/// Every finding of `walk`, ordered by where the file says it (what concerns the file as a
/// whole first). Throws std::bad_alloc.
std::vector<finding> find_findings(const file_walk& walk, const finding_settings& settings);

}  // namespace credcheck
