#pragma once
// One call of PlainTextParser::parse, with everything it produced.

#include <map>
#include <string>
#include <vector>

#include <Common/CorvexResult.h>
#include <Kelvor/Log.h>

namespace credcheck {

/// What one call of PlainTextParser::parse returned, added and logged.
struct parse_run {
    CorvexResult result;
    /// The map that the call filled, starting empty.
    std::map<std::string, std::string> entries;
    /// Every log record that the call wrote, of every level, in order.
    std::vector<Kelvor::LogRecord> records;
};

/// Calls PlainTextParser::parse on `path` with an empty map, capturing its log records through
/// the process-wide log sink; the previous sink is back in place when this returns.
parse_run run_parse(const std::string& path);

}  // namespace credcheck
