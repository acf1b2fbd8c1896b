#include "Report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <utility>

#include <Common/CorvexResultCatalogue.h>

#include "ParseRun.h"

namespace credcheck {

report build_report(const options& opts) {
    parse_run run = run_parse(opts.file);
    std::vector<Kelvor::LogRecord> shown;
    std::copy_if(run.records.begin(), run.records.end(), std::back_inserter(shown),
                 [&opts](const Kelvor::LogRecord& record) {
                     return opts.verbose || record.level <= QUIET_LOG_LEVEL;
                 });
    return report{opts.file,        std::move(run.result), std::move(run.entries),
                  std::move(shown), diagnose(opts.file),   opts.reveal};
}

result_description describe_result(int code) {
    result_description description;
    const std::optional<result_code_entry> entry = find_result_code(code);
    description.name = entry ? std::string(entry->name) : "(unknown)";
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X",
                  static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    description.hex = hex;
    description.message = lookup_result_message(code).value_or("");
    return description;
}

std::string shown_password(const std::string& password, bool reveal) {
    return reveal ? password : PASSWORD_MASK;
}

int exit_status_for(const CorvexResult& result) {
    return result.code == RESULT_SUCCEED ? 0 : 1;
}

}  // namespace credcheck
