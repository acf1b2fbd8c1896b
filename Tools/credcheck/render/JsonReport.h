#pragma once
// The report for scripts: one JSON object, written as it goes.

#include <memory>
#include <ostream>

#include "render/JsonWriter.h"
#include "render/Reporter.h"

namespace credcheck {

/// The version of the JSON report's shape, its first member: raised with every change of
/// shape, so that a script can tell. Its JSON Schema is report.schema.json.
inline constexpr unsigned JSON_REPORT_FORMAT_VERSION = 1;

/// Writes `r` as one JSON object with the members "format_version", "file", "result",
/// "summary", "sources" (every entry of the file's lists, each once), "entries" (every key, its
/// value and the index of its source; for a key that other entries asked for too, "dropped",
/// "different" and "first_dropped"), "findings", "records" and "diagnostics" (with --host:
/// "format_version", "file", "host", "result", "entries", each with its sources written out,
/// and "case_variants"). Passwords are masked unless `r.reveal`; the file's text is masked
/// wherever it holds one.
void write_json_report(std::ostream& out, const file_report& r);

/// The JSON format: one object for one file, an array of them for several.
std::unique_ptr<reporter> make_json_reporter(std::ostream& out, const render_settings& settings);

/// `source` as {"member": "target_systems", "index": 3, "entry": "ops@10.0.0.0/30", "line": 8,
/// "column": 5}; "entry" is null for the two passwords, "line" and "column" where the document
/// gives it (null when unknown).
void write_source(json_writer& json, const file_walk& walk, entry_source source);

/// Every source of `walk`, each once, in the order source_number counts them.
void write_sources(json_writer& json, const file_walk& walk);

/// The result as {"code", "hex", "name", "message", "detail"}.
void write_result(json_writer& json, const CorvexResult& result);

}  // namespace credcheck
