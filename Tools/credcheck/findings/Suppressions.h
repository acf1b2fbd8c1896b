#pragma once
// Findings a file accepts one by one, with a comment beside them:
//
//     "lab": "tester:lab-only",  // credcheck-ignore weak-password: lab box (until 2027-06-30)
//
// A trailing comment speaks for its own line, a comment on a line of its own for the next line
// after it. It names the rules it accepts and why, and may end on a day after which it accepts
// nothing. A suppression that cannot be read, has ended or accepts nothing is a finding itself,
// so that none rots unseen or hides a new finding on its line.

#include <string>
#include <vector>

#include "findings/Findings.h"
#include "walk/DocumentIndex.h"

namespace credcheck {

/// The word a suppression comment begins with.
inline constexpr std::string_view SUPPRESSION_KEYWORD = "credcheck-ignore";

/// Marks the findings of `findings` (ordered by place) that the suppression comments of `index`
/// accept, and adds an invalid-, expired- or unused-suppression finding for each comment that
/// accepts nothing, unless `settings` ignore that rule; keeps `findings` ordered by place.
/// Throws std::bad_alloc.
void apply_suppressions(const document_index& index, std::vector<finding>& findings,
                        const finding_settings& settings);

/// Today in UTC, as YYYY-MM-DD.
std::string today_utc();

}  // namespace credcheck
