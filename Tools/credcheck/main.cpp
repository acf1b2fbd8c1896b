// credcheck: shows what PlainTextParser::parse makes of a credential file, and why.
//
// Exit status: 0 when the parser returns RESULT_SUCCEED, 1 for any other result, 2 for bad
// usage.

#include <exception>
#include <iostream>

#include "HumanReport.h"
#include "JsonPretty.h"
#include "JsonReport.h"
#include "Options.h"
#include "Report.h"

int main(int argc, char** argv) {
    const credcheck::command_line command =
        credcheck::parse_command_line(argc, argv, std::cout, std::cerr);
    if (command.exit_status) {
        return *command.exit_status;
    }
    try {
        const credcheck::report report = credcheck::build_report(command.opts);
        if (command.opts.json) {
            credcheck::write_pretty_json(std::cout, credcheck::json_report(report));
        } else {
            credcheck::write_human_report(std::cout, report, credcheck::colour_wanted());
        }
        std::cout.flush();
        return credcheck::exit_status_for(report.result);
    } catch (const std::exception& error) {
        std::cerr << "credcheck: " << error.what() << '\n';
        return 1;
    }
}
