#pragma once
// A baseline: the findings a team accepted when it turned the gate on, kept in a file beside the
// credential files so that --strict fails only on what is new.
//
// An entry names a finding by its rule, its file (as the command line names it) and its subject
// (the member, alias, entry or key it concerns, masked with the file's passwords), never by line,
// column or time, so it holds when lines are added above it. For a finding about a password it
// also holds the password's keyed digest (see Fingerprint.h) when a key is given, so that another
// password in the same place is a new finding. No password, and no unkeyed hash of one, is
// written.

#include <cstddef>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "findings/Findings.h"
#include "findings/Fingerprint.h"
#include "text/SecretMask.h"

namespace credcheck {

/// The version of the baseline file's shape.
inline constexpr unsigned BASELINE_FORMAT_VERSION = 1;

/// One accepted finding.
struct baseline_entry {
    std::string rule;
    std::string file;
    std::string subject;
    /// The keyed digest of the finding's password, as 64 hex digits; empty when the finding is
    /// about no password or was written without a key.
    std::string digest;
    /// Why it is accepted, and the last day it is (YYYY-MM-DD); both may be empty.
    std::string reason;
    std::string until;
};

/// A baseline file that cannot be read or is no baseline: what is wrong, in words.
struct baseline_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The entries of a baseline, and which of them a run has used.
class baseline {
public:
    baseline() = default;
    explicit baseline(std::vector<baseline_entry> entries);

    /// The baseline in the file at `path`. Throws baseline_error, std::bad_alloc.
    static baseline read(const std::string& path);

    /// Accepts the findings of the file named `file` that an unused entry names, and adds an
    /// expired- or unused-suppression finding (unless `settings` ignore it) for each of that
    /// file's entries that accepts nothing. `own` masks the file's passwords in subjects; without
    /// `key`, an entry that holds a digest accepts nothing. Throws std::bad_alloc.
    void apply(const std::string& file, std::vector<finding>& findings, const secret_mask& own,
               const fingerprint_key* key, const finding_settings& settings);

    /// The entry for finding `f` of `file`: its reason and end carried over from an entry of this
    /// baseline with the same key, if any.
    baseline_entry entry_for(const std::string& file, const finding& f, const secret_mask& own,
                             const fingerprint_key* key) const;

    /// The entries of files other than `files`, which a rewrite keeps as they are.
    std::vector<baseline_entry> entries_outside(const std::vector<std::string>& files) const;

    const std::vector<baseline_entry>& entries() const { return entries_; }

private:
    std::vector<baseline_entry> entries_;
    std::vector<bool> used_;
    // Entry indices by rule, file and subject.
    std::unordered_multimap<std::string, std::size_t> by_key_;
};

/// Writes `entries` as a baseline file: sorted, one entry to a line, so that writing the same
/// entries again gives the same bytes. Throws output_failed.
void write_baseline(std::ostream& out, std::vector<baseline_entry> entries);

/// Whether a finding of `which` may go into a baseline: those about suppressions may not.
bool can_be_baselined(rule which);

}  // namespace credcheck
