#pragma once
// The report for a person reading a terminal.

#include <ostream>

#include "Report.h"

namespace credcheck {

/// Writes `r` as text: the result, the entries, the log records, why keys are missing, and the
/// permission warning. `colour` adds ANSI colours.
void write_human_report(std::ostream& out, const report& r, bool colour);

/// True when standard output is a terminal and NO_COLOR is not set.
bool colour_wanted();

}  // namespace credcheck
