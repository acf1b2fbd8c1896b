#include "Options.h"

#include <algorithm>

#include <CLI/CLI.hpp>

#include "ExampleFile.h"
#include "Rules.h"
#include "SafeText.h"

namespace credcheck {

namespace {

const char* const DESCRIPTION =
    "Runs the walk of PlainTextParser::parse over a credential file and shows what the tool "
    "family would receive: the result, every key with its password masked and the entry of the "
    "file that produced it, keys that several entries asked for, the log records, warnings, and "
    "why keys are missing.";

const char* const FOOTER_TEXT =
    "Text from the file or the command line is shown with control characters, invisible and "
    "reordering code points and invalid UTF-8 escaped (\\n, \\x1b, \\u202e, ...); no password of "
    "the file is shown in its text without --reveal.";

const char* const EXIT_STATUS_TEXT =
    "Exit status:\n"
    "  0  the parser returned RESULT_SUCCEED (with --strict: and no finding of warning\n"
    "     severity or above; with --diff: the two files hand out the same map)\n"
    "  1  any other result; with --strict, also any finding of warning severity or above;\n"
    "     with --host, no key for the host; with --diff, a key added, removed or given\n"
    "     another password\n"
    "  2  bad usage, a file that cannot be read, out of memory, or the report could not be\n"
    "     written";

// The footer: how text is shown, the rules, and the exit statuses.
std::string footer() {
    std::string text = FOOTER_TEXT;
    text +=
        "\n\nRules (findings; --strict fails on warnings and errors, --ignore RULE leaves one "
        "out):\n";
    for (const rule_info& rule : RULES) {
        std::string line = "  " + std::string(rule.id);
        line.resize(std::max<std::size_t>(line.size() + 1, 20), ' ');
        text +=
            line + std::string(severity_name(rule.level)) + ": " + std::string(rule.summary) + "\n";
    }
    return text + "\n" + EXIT_STATUS_TEXT;
}

}  // namespace

command_line parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                std::ostream& err) {
    command_line parsed;
    options& opts = parsed.opts;

    CLI::App app(DESCRIPTION, "credcheck");
    app.footer(footer());
    std::string file;
    CLI::Option* file_option =
        app.add_option("FILE", file, "Credential file to check (default: the shipped example file)")
            ->type_name("");
    app.add_flag("--reveal", opts.reveal, "Show passwords instead of masking them");
    app.add_flag("--json", opts.json, "Write the report as one JSON object");
    app.add_flag("--verbose", opts.verbose,
                 "Also show trace log records (level 4 and above) and what each target became");
    app.add_flag("--all-keys", opts.all_keys,
                 "List every key on a line of its own (by default a run of keys of one user "
                 "from one entry shares a line)");
    app.add_flag("--strict", opts.strict,
                 "Exit 1 unless the file is clean: RESULT_SUCCEED and no finding of warning "
                 "severity or above; also ask libpwquality of every password (weak-password)");
    app.add_option("--ignore", opts.ignore,
                   "Leave out the findings of RULE (repeatable), for a file that knowingly "
                   "breaks it")
        ->type_name("RULE")
        ->allow_extra_args(false)
        ->check([](const std::string& rule) {
            return find_rule(rule) != nullptr ? std::string() : "no such rule: " + rule;
        });
    app.add_option("--max-entries", opts.max_entries,
                   "The most entries a file may hand out before many-entries says so "
                   "(default 1,000,000)")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    app.add_option("--host", opts.host,
                   "Show only the keys for HOST (an address, as any scope form of one address, "
                   "or a host name), with the entry that produced each")
        ->type_name("HOST");
    app.add_option("--diff", opts.diff,
                   "Compare two credential files: which keys the change from OLD to NEW "
                   "adds, removes, gives another password or takes from another entry")
        ->expected(2)
        ->option_text("OLD NEW");
    app.set_version_flag("--version", std::string("credcheck ") + CREDCHECK_VERSION,
                         "Show the version and exit");

    try {
        app.parse(argc, argv);
        if (file_option->count() > 0 && file.empty()) {
            throw CLI::ValidationError("FILE", "the path is empty");
        }
        if (std::any_of(opts.diff.begin(), opts.diff.end(),
                        [](const std::string& path) { return path.empty(); })) {
            throw CLI::ValidationError("--diff", "a path is empty");
        }
        if (!opts.diff.empty() && (file_option->count() > 0 || opts.host || opts.strict ||
                                   opts.verbose || opts.all_keys)) {
            throw CLI::ValidationError("--diff",
                                       "takes --reveal and --json, no FILE or other option");
        }
        if (opts.host && opts.host->empty()) {
            throw CLI::ValidationError("--host", "the host is empty");
        }
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        parsed.exit_status = EXIT_CLEAN;
        return parsed;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        parsed.exit_status = EXIT_CLEAN;
        return parsed;
    } catch (const CLI::ParseError& error) {
        err << "credcheck: " << terminal_text(error.what()) << '\n'
            << "Run with --help for more information.\n";
        parsed.exit_status = EXIT_TROUBLE;
        return parsed;
    }

    opts.file = file_option->count() > 0 ? file : default_credential_file();
    return parsed;
}

}  // namespace credcheck
