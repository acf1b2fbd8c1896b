#pragma once
// The findings as editors and CI problem matchers read them.

#include <memory>
#include <ostream>

#include "render/Reporter.h"

namespace credcheck {

/// Writes one line per finding of `r`, "FILE:LINE:COL: error|warning|note: message [rule]", and
/// nothing else. FILE is the path as it was named; a finding about the file as a whole stands at
/// 1:1. Escaped and masked as the text report is.
void write_gcc_report(std::ostream& out, const file_report& r);

/// The gcc format: each file's lines in turn.
std::unique_ptr<reporter> make_gcc_reporter(std::ostream& out, const render_settings& settings);

}  // namespace credcheck
