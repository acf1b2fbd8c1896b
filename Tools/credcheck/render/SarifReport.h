#pragma once
// The findings as a SARIF 2.1.0 log, for code scanning.

#include <memory>
#include <ostream>

#include "render/Reporter.h"

namespace credcheck {

/// The SARIF format: one log with one run over the files: the tool (credcheck, its version, and
/// every rule with its descriptions and default level), each file as an artifact named as it was
/// given, and each finding as a result with its rule, level, message and location (a region of
/// line and column in code points, none for a finding about the file as a whole), and a partial
/// fingerprint (see `fingerprints`). Every text is masked and escaped as the JSON report's is.
/// The results are written file by file, as the files come.
std::unique_ptr<reporter> make_sarif_reporter(std::ostream& out, const render_settings& settings);

}  // namespace credcheck
