#pragma once
// The report for a person reading a terminal.

#include <ostream>

#include "Report.h"

namespace credcheck {

/// Keys up to this many columns wide line up in one column; a longer key, or run of keys, is
/// shown whole, and does not push the other lines out.
inline constexpr std::size_t KEY_COLUMN_LIMIT = 40;

/// Writes `r` as text: the result and a summary, the warnings, the entries with their sources,
/// the shadowed keys, the log records and why keys are missing (with --host: the result and
/// the host's entries only). Keys of one user whose hosts follow one another and that come from
/// one entry share a line ("u@10.0.0.1 … u@10.0.0.6 (6 keys)"), and so do shadowed keys that
/// the same entries asked for, unless `r.all_keys`. `colour` adds ANSI colours. Every text from
/// the file or the command line is escaped and every password of the file masked (unless
/// `r.reveal`).
void write_human_report(std::ostream& out, const report& r, bool colour);

/// Whether the text report is coloured under `mode`: always, never, or (automatic) on a
/// terminal unless NO_COLOR is set (to anything, "0" too) or TERM is dumb, and on a pipe or file
/// when FORCE_COLOR is set (to anything but "0").
bool colour_wanted(colour_mode mode);

}  // namespace credcheck
