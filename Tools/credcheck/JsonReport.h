#pragma once
// The report for scripts: one JSON object.

#include <ostream>

#include <boost/json/value.hpp>

#include "Report.h"

namespace credcheck {

/// `r` as one JSON object with the members "file", "result", "summary", "entries", "records"
/// and "diagnostics" (with --host: "file", "host", "result" and "entries"). Passwords are
/// masked unless `r.reveal`; the strings hold the file's text as it is otherwise.
boost::json::value json_report(const report& r);

/// `source` as {"member": "target_systems", "index": 3, "entry": "ops@10.0.0.0/30"}; "entry" is
/// null for the two passwords.
boost::json::value source_json(const file_walk& walk, entry_source source);

/// The result as {"code", "hex", "name", "message", "detail"}.
boost::json::object result_json(const CorvexResult& result);

/// Writes `value` with two-space indentation and a final newline. Every string is masked with
/// `mask` and written as valid UTF-8 JSON with no raw control character (json_quoted).
void write_json(std::ostream& out, const boost::json::value& value, const secret_mask& mask);

}  // namespace credcheck
