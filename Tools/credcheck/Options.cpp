#include "Options.h"

#include <CLI/CLI.hpp>

#include "ExampleFile.h"

namespace credcheck {

namespace {

const char* const DESCRIPTION =
    "Runs PlainTextParser::parse on a credential file and shows what the tool family would "
    "receive: the result, every key with its password masked, the log records, and why keys "
    "are missing.";

}  // namespace

command_line parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                std::ostream& err) {
    command_line parsed;
    options& opts = parsed.opts;

    CLI::App app(DESCRIPTION, "credcheck");
    app.add_option("FILE", opts.file,
                   "Credential file to check (default: the shipped example, " +
                       default_credential_file() + ")");
    app.add_flag("--reveal", opts.reveal, "Show passwords instead of masking them");
    app.add_flag("--json", opts.json, "Write the report as one JSON object");
    app.add_flag("--verbose", opts.verbose, "Show trace log records (level 4 and above) too");
    app.set_version_flag("--version", std::string("credcheck ") + CREDCHECK_VERSION,
                         "Show the version and exit");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        parsed.exit_status = 0;
        return parsed;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        parsed.exit_status = 0;
        return parsed;
    } catch (const CLI::ParseError& error) {
        err << "credcheck: " << error.what() << '\n' << "Run with --help for more information.\n";
        parsed.exit_status = EXIT_USAGE;
        return parsed;
    }

    if (opts.file.empty()) {
        opts.file = default_credential_file();
    }
    return parsed;
}

}  // namespace credcheck
