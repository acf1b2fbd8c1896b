#pragma once
// Everything credcheck shows about one credential file, and the presentation rules that the
// human and the JSON report share.

#include <map>
#include <string>
#include <vector>

#include <Common/CorvexResult.h>
#include <Kelvor/Log.h>

#include "Diagnostics.h"
#include "Options.h"

namespace credcheck {

/// The fixed mask shown for a password; it does not tell the password's length.
inline constexpr const char PASSWORD_MASK[] = "********";

/// The highest log level shown without --verbose.
inline constexpr unsigned QUIET_LOG_LEVEL = 3;

/// What a result code stands for.
struct result_description {
    /// The constant's name, e.g. "RESULT_INVALID_FILE"; "(unknown)" for a code not in the
    /// catalogue.
    std::string name;
    /// The composed code as "0x" and eight hex digits.
    std::string hex;
    /// The message registered for the code; empty when none is.
    std::string message;
};

struct report {
    std::string file;
    CorvexResult result;
    /// Keys and values as parse handed them out; values are passwords.
    std::map<std::string, std::string> entries;
    /// The log records to show: levels up to QUIET_LOG_LEVEL, or all with --verbose.
    std::vector<Kelvor::LogRecord> records;
    diagnostics diag;
    /// Whether passwords are shown rather than masked.
    bool reveal;
};

/// Runs the parser on `opts.file`, diagnoses the file and keeps what `opts` asks to show.
report build_report(const options& opts);

result_description describe_result(int code);

/// `password` when `reveal`, else PASSWORD_MASK.
std::string shown_password(const std::string& password, bool reveal);

/// The exit status for a result: 0 for RESULT_SUCCEED, 1 for any other.
int exit_status_for(const CorvexResult& result);

}  // namespace credcheck
