#pragma once
// What credcheck shows about one credential file: the walk's findings, the warnings drawn from
// them, and the rules that the human and the JSON report share.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <Kelvor/Log.h>

#include "FileWalk.h"
#include "Findings.h"
#include "Options.h"
#include "ReportText.h"
#include "SecretMask.h"

namespace credcheck {

/// The highest log level shown without --verbose.
inline constexpr unsigned QUIET_LOG_LEVEL = 3;

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

struct report {
    report() = default;
    explicit report(file_walk walked) : walk(std::move(walked)) {}

    file_walk walk;
    /// Everything found, by where the file says it; without the rules --ignore leaves out.
    std::vector<finding> findings;
    /// The log records to show: levels up to QUIET_LOG_LEVEL, or all with --verbose.
    std::vector<Kelvor::LogRecord> records;
    /// When set, only the entries for this host (as the keys write it) are shown.
    std::optional<std::string> host;
    /// Hides the passwords of the file wherever its text is shown; masks nothing with --reveal.
    secret_mask mask;
    bool reveal = false;
    bool verbose = false;
    /// Every key on a line of its own, no runs folded.
    bool all_keys = false;
};

/// What the report calls `file`: the name of standard input (--stdin-filename, or "-") for
/// STANDARD_INPUT, else `file` itself.
std::string input_name(const std::string& file, const options& opts);

/// The walk over `file`, a FILE of the command line (standard input for STANDARD_INPUT), named
/// as input_name says. Throws what walk_file throws.
file_walk walk_input(const std::string& file, const options& opts);

/// Walks `file`, a FILE of the command line (see walk_input), and keeps what `opts` asks to
/// show.
report build_report(const std::string& file, const options& opts);

/// The report of an existing walk.
report build_report(file_walk walk, const options& opts);

/// The mask for the passwords of `walks`: empty with --reveal.
secret_mask mask_for(const std::vector<const file_walk*>& walks, bool reveal);

result_description describe_result(int code);

/// `password` when `reveal`, else PASSWORD_MASK.
std::string_view shown_password(std::string_view password, bool reveal);

/// The entries of `r` to show: all, or those whose host is `r.host` byte for byte, as the
/// tools look keys up.
std::vector<const handed_entry*> shown_entries(const report& r);

/// With --host: the keys whose host differs from `r.host` only in letter case.
std::vector<const handed_entry*> case_variants(const report& r);

/// How many unusable members, for the summary.
std::size_t unusable_members(const file_walk& walk);

/// How many findings of `level` the report holds.
std::size_t findings_of(const report& r, severity level);

/// Whether --strict fails the report: a result other than RESULT_SUCCEED, or a finding of
/// warning severity or above.
bool has_findings(const report& r);

/// The exit status for `r` under `opts`.
int exit_status_for(const report& r, const options& opts);

}  // namespace credcheck
