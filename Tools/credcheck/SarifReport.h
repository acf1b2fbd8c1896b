#pragma once
// The findings as a SARIF 2.1.0 log, for code scanning.

#include <ostream>
#include <vector>

#include "Report.h"

namespace credcheck {

/// Writes one SARIF 2.1.0 log with one run over `reports`: the tool (credcheck, its version, and
/// every rule with its descriptions and default level), each file as an artifact named as it was
/// given, and each finding as a result with its rule, level, message and location (a region of
/// line and column in code points, none for a finding about the file as a whole), and a partial
/// fingerprint hashed from its rule and what it concerns, so that lines added above a finding
/// change no fingerprint. Every text is masked and escaped as the JSON report's is; `mask` holds
/// the passwords of every file.
void write_sarif_report(std::ostream& out, const std::vector<const report*>& reports,
                        const secret_mask& mask);

}  // namespace credcheck
