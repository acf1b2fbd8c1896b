#pragma once
// The report model: what one run of credcheck says of each file, built, sorted and masked once.
// Every output format renders it and works out nothing of its own.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <Kelvor/Log.h>

#include "findings/Findings.h"
#include "findings/Fingerprint.h"
#include "inventory/Coverage.h"
#include "model/Baseline.h"
#include "text/ReportText.h"
#include "text/SecretMask.h"
#include "walk/FileWalk.h"

namespace credcheck {

/// The highest log level shown without --verbose.
inline constexpr unsigned QUIET_LOG_LEVEL = 3;

/// What the report of a file shows, as the command line asked.
struct report_settings {
    /// Show passwords instead of PASSWORD_MASK.
    bool reveal = false;
    /// Show the trace records too, and what each target became.
    bool verbose = false;
    /// Every key on a line of its own, no runs folded.
    bool all_keys = false;
    /// Only the entries for this host, as the command line gives it.
    std::optional<std::string> host;
    finding_settings findings;
    /// Accepts the findings it names, and learns which of its entries go unused (--baseline).
    baseline* accepted_by = nullptr;
    /// Gathers every finding as a baseline entry, and accepts it (--write-baseline).
    std::vector<baseline_entry>* baseline_out = nullptr;
    /// The key of password digests, if one is given.
    const fingerprint_key* key = nullptr;
    /// Show a password as its keyed digest's first 16 hex digits (needs `key`).
    bool fingerprints = false;
    /// The inventories of --inventory, read once for the run; null without one.
    const inventory_set* inventories = nullptr;
};

/// What a result code stands for.
struct result_description {
    /// The constant's name, e.g. "RESULT_INVALID_FILE"; "(unknown)" for a code not in the
    /// catalogue.
    std::string name;
    /// The composed code as "0x" and eight hex digits.
    std::string hex;
    /// The message registered for the code; empty when none is.
    std::string message;
};

/// The counts a report opens with.
struct report_summary {
    std::size_t entries = 0;
    std::size_t shadowed = 0;
    std::size_t unknown_aliases = 0;
    std::size_t rejected_scopes = 0;
    std::size_t unusable_members = 0;
    /// Findings no suppression accepts, and of them the errors, warnings and notes.
    std::size_t findings = 0;
    std::size_t errors = 0;
    std::size_t warnings = 0;
    std::size_t notes = 0;
    /// Findings a suppression accepts.
    std::size_t accepted = 0;
};

/// How one member of the document bound, as the reports name it.
struct member_state {
    member_id id{};
    member_outcome outcome;
    /// "bound", "absent", "unusable" or "not_read".
    std::string_view name;
    /// In words: "3 credentials", "set", "absent (optional: hands out nothing)"; empty for an
    /// unusable member, whose problem says it.
    std::string description;
};

/// What the run says of one file.
struct file_report {
    explicit file_report(file_walk walked) : walk(std::move(walked)) {}

    file_walk walk;
    /// Everything found, by where the file says it; without the rules --ignore leaves out.
    std::vector<finding> findings;
    /// The log records to show: levels up to QUIET_LOG_LEVEL, or all with --verbose.
    std::vector<Kelvor::LogRecord> records;
    report_summary summary;
    std::array<member_state, MEMBER_COUNT> members{};
    /// When set, only the entries for this host (as the keys write it) are shown.
    std::optional<std::string> host;
    /// Hides the passwords of every file of the run wherever text is shown; masks nothing with
    /// --reveal. Shared by the run's reports.
    std::shared_ptr<const secret_mask> mask;
    bool reveal = false;
    bool verbose = false;
    bool all_keys = false;
    /// With --fingerprints, the key whose digests stand for the passwords.
    std::optional<fingerprint_key> fingerprints;
    /// With --inventory, how far the file covers the inventories.
    std::optional<coverage_report> coverage;

    /// A password as the report shows it: the file's text with --reveal, the first 16 hex
    /// digits of its keyed digest with --fingerprints, else PASSWORD_MASK.
    report_text password(std::string_view value) const;
};

/// A password as reports show it: the file's text with `reveal`, else PASSWORD_MASK.
report_text password_text(std::string_view value, bool reveal);

/// Where the walk read `file`: standard input ("-") is opened afresh as /dev/stdin.
std::string input_path(const std::string& file);

/// The report of `walk` under `settings`, shown with `mask`. Throws std::bad_alloc.
file_report build_report(file_walk walk, const report_settings& settings,
                         std::shared_ptr<const secret_mask> mask);

/// Adds the passwords `walk` holds, kept or not, to `secrets`, which views them.
void add_secrets(const file_walk& walk, std::vector<std::string_view>& secrets);

/// The mask for `secrets` and every other spelling of them that a report writes: empty with
/// `reveal`.
secret_mask mask_for(const std::vector<std::string_view>& secrets, bool reveal);

/// The mask for the passwords of `walk` alone.
secret_mask mask_for(const file_walk& walk, bool reveal);

result_description describe_result(int code);

/// The entries of `r` to show: all, or those whose host is `r.host` byte for byte, as the
/// tools look keys up.
std::vector<const handed_entry*> shown_entries(const file_report& r);

/// With --host: the keys whose host differs from `r.host` only in letter case.
std::vector<const handed_entry*> case_variants(const file_report& r);

/// The shadowed key of `r.walk.entries[index]`, or null.
const shadowed_key* shadow_of(const file_report& r, std::size_t index);

/// Where `source` stands in the report's table of sources: every entry of the target, KMS and
/// BMC lists in turn, then the two passwords.
std::size_t source_number(const file_walk& walk, entry_source source);

/// The number of sources in that table.
std::size_t source_count(const file_walk& walk);

/// The source numbered `number` in that table.
entry_source source_numbered(const file_walk& walk, std::size_t number);

/// Which entries a text report quotes where it names them. An entry may stand behind many
/// lines (a scope of many keys, an entry that others shadow); quoting a long entry only where
/// the report first names it, and naming it by place after that, keeps the report in
/// proportion to the keys it lists rather than to their entries' length.
class source_quotes {
public:
    explicit source_quotes(const file_walk& walk)
        : walk_(walk), quoted_(source_count(walk), false) {}

    /// Whether to quote the entry of `source` where the report names it now: the first time,
    /// and every time while it is short.
    bool quote(entry_source source);

private:
    const file_walk& walk_;
    std::vector<bool> quoted_;
};

/// A stable fingerprint of each finding of `r`, in order: a hash of its rule, its subject
/// masked with the file's own passwords, and its ordinal among findings of the same rule and
/// subject. It depends on the file's content only: not on where lines stand, not on the other
/// files of the run, not on how the file's path is spelled.
std::vector<std::uint64_t> fingerprints(const file_report& r);

/// Whether --strict fails the report: a result other than RESULT_SUCCEED, or a finding of
/// warning severity or above that no suppression accepts.
bool has_findings(const file_report& r);

}  // namespace credcheck
