#pragma once
// The report for scripts: one JSON object.

#include <boost/json/value.hpp>

#include "Report.h"

namespace credcheck {

/// `r` as one JSON object with the members "file", "result", "entries", "records" and
/// "diagnostics"; passwords masked unless `r.reveal`.
boost::json::value json_report(const report& r);

}  // namespace credcheck
