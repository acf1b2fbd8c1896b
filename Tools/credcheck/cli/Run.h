#pragma once
// One run of credcheck over the command line's files: each walked, reported in the format asked
// for, and the exit status that the reports call for.

#include <iosfwd>
#include <optional>
#include <string>

#include "cli/Options.h"
#include "model/Report.h"

namespace credcheck {

/// What the report calls `file`: the name of standard input (--stdin-filename, or "-") for
/// STANDARD_INPUT, else `file` itself.
std::string input_name(const std::string& file, const options& opts);

/// The walk over `file`, a FILE of the command line, named as input_name says. Throws what
/// walk_file throws.
file_walk walk_input(const std::string& file, const options& opts);

/// What the command line asks the report of each file to show.
report_settings settings_of(const options& opts);

/// What the command line asks the report of `file`, a FILE of the command line, to show:
/// settings_of(opts), but with the file's mode and owner left unchecked when it lies in a git
/// work tree, unless --check-file-mode asks for them.
report_settings settings_of(const options& opts, const std::string& file);

/// The report of `file` alone, masked with its own passwords.
file_report build_report(const std::string& file, const options& opts);

/// The exit status for `r` under `opts`.
int exit_status_for(const file_report& r, const options& opts);

/// Whether the text report is coloured under `mode`: always, never, or (automatic) on a
/// terminal unless NO_COLOR is set (to anything, "0" too) or TERM is dumb, and on a pipe or file
/// when FORCE_COLOR is set (to anything but "0").
bool colour_wanted(colour_mode mode);

/// The inventories of --inventory, read and expanded once for the run; none without one, and
/// none (having said why on `err`) when one cannot be read.
std::optional<inventory_set> read_inventories(const options& opts, std::ostream& err);

/// credcheck [FILE...]: checks and reports every file in turn, in the format of `opts`, to
/// `out`; says on `err` which files could not be read. Returns the highest exit status.
int check(const options& opts, std::ostream& out, std::ostream& err);

/// credcheck --diff OLD NEW. Returns the exit status.
int compare(const options& opts, std::ostream& out, std::ostream& err);

}  // namespace credcheck
