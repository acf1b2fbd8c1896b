#pragma once
// The report for a person reading a terminal.

#include <memory>
#include <ostream>

#include "render/Reporter.h"

namespace credcheck {

/// Keys up to this many columns wide line up in one column; a longer key, or run of keys, is
/// shown whole, and does not push the other lines out.
inline constexpr std::size_t KEY_COLUMN_LIMIT = 40;

/// Writes `r` as text: the result and a summary, the warnings, the entries with their sources,
/// the shadowed keys, the log records and why keys are missing (with --host: the result and
/// the host's entries only). Keys of one user whose hosts follow one another and that come from
/// one entry share a line ("u@10.0.0.1 … u@10.0.0.6 (6 keys)"), and so do shadowed keys that
/// the same entries asked for, unless `r.all_keys`. `colour` adds ANSI colours. Every text from
/// the file or the command line is escaped and every password masked (unless `r.reveal`).
void write_human_report(std::ostream& out, const file_report& r, bool colour);

/// The text format: each file's report in turn.
std::unique_ptr<reporter> make_text_reporter(std::ostream& out, const render_settings& settings);

}  // namespace credcheck
