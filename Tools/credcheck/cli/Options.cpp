#include "cli/Options.h"

#include <unistd.h>

#include <algorithm>
#include <memory>

#include <CLI/CLI.hpp>

#include "findings/Rules.h"
#include "render/Reporter.h"
#include "text/SafeText.h"

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
    "  2  bad usage, a file that cannot be read (a stream longer than 256 MiB too), out of\n"
    "     memory, or the report could not be written";

const char* const HELP_HINT = "Run with --help for more information.\n";

// "text (for a person), json (for scripts), ... or gcc (...)", from the registry of formats.
std::string formats_help() {
    const std::vector<output_format>& formats = output_formats();
    std::string text;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        text += i == 0 ? "" : i + 1 == formats.size() ? " or " : ", ";
        text += std::string(formats[i].name) + " (" + std::string(formats[i].purpose) + ")";
    }
    return text;
}

std::vector<std::string> format_names() {
    std::vector<std::string> names;
    for (const output_format& format : output_formats()) {
        names.emplace_back(format.name);
    }
    return names;
}

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
    app.add_option("FILE", opts.files,
                   "Credential files to check, each in turn; - is standard input, and so is no "
                   "file when standard input is not a terminal; with --diff, the old and the new "
                   "file")
        ->type_name("");
    app.add_option("--stdin-filename", opts.stdin_name,
                   "The name standard input goes by in the report (its heading, the JSON file, "
                   "the SARIF artifact, the gcc lines), e.g. the path of an editor's unsaved "
                   "buffer; - by default")
        ->type_name("NAME");
    app.add_flag("--diff", opts.diff,
                 "Compare two credential files, OLD and NEW: which keys the change adds, "
                 "removes, gives another password or takes from another entry");
    app.add_flag("--reveal", opts.reveal, "Show passwords instead of masking them");
    bool json = false;
    app.add_flag("--json", json, "Write the report as one JSON object (--format json)");
    std::string format = "text";
    CLI::Option* format_option = app.add_option("--format", format, formats_help())
                                     ->type_name("FORMAT")
                                     ->check(CLI::IsMember(format_names()));
    std::string colour = "auto";
    app.add_option("--color", colour,
                   "auto (a terminal, unless NO_COLOR is set or TERM is dumb; a pipe when "
                   "FORCE_COLOR is set), "
                   "always or never")
        ->type_name("WHEN")
        ->check(CLI::IsMember({"auto", "always", "never"}));
    app.add_flag("--verbose", opts.verbose,
                 "Also show trace log records (level 4 and above) and what each target became");
    app.add_flag("--all-keys", opts.all_keys,
                 "List every key on a line of its own (by default a run of keys of one user "
                 "from one entry shares a line)");
    app.add_flag("--strict", opts.strict,
                 "Exit 1 unless the file is clean: RESULT_SUCCEED and no finding of warning "
                 "severity or above; also judge every password's strength (weak-password)");
    app.add_option("--ignore", opts.ignore,
                   "Leave out the findings of RULE (repeatable), for a file that knowingly "
                   "breaks it")
        ->type_name("RULE")
        ->allow_extra_args(false)
        ->check([](const std::string& rule) {
            return find_rule(rule) != nullptr ? std::string() : "no such rule: " + rule;
        });
    app.add_flag("--check-file-mode", opts.check_file_mode,
                 "Check the mode and owner (permissions, owner) of a file in a git work tree too; "
                 "by default they are checked only outside one, as git keeps neither and a "
                 "clone's files have the umask's mode and the cloner as owner");
    CLI::Option* max_entries =
        app.add_option("--max-entries", opts.max_entries,
                       "The most entries a file may hand out before many-entries says so "
                       "(default 100,000)")
            ->type_name("N")
            ->check(CLI::PositiveNumber);
    CLI::Option* min_password_bits =
        app.add_option("--min-password-bits", opts.min_password_bits,
                       "With --strict, the fewest bits of guessing (log2 of the guesses) a "
                       "password may take before weak-password says so (default 33.22, "
                       "10^10 guesses)")
            ->type_name("N")
            ->check(CLI::Range(0.0, 1000.0));
    app.add_option("--host", opts.host,
                   "Show only the keys for HOST (an address, as any scope form of one address, "
                   "or a host name), with the entry that produced each")
        ->type_name("HOST");
    app.add_option("--baseline", opts.baseline,
                   "Accept the findings that the baseline FILE names (written by "
                   "--write-baseline); its entries that accept nothing are unused-suppression")
        ->type_name("FILE");
    app.add_option("--write-baseline", opts.write_baseline,
                   "Write every finding of the run to the baseline FILE (keeping the reasons and "
                   "ends of a --baseline's entries), and accept them")
        ->type_name("FILE");
    app.add_option("--fingerprint-key", opts.fingerprint_key,
                   "The key of password digests in baselines and --fingerprints: FILE holds 64 "
                   "hex digits or 32 bytes (else CREDCHECK_FINGERPRINT_KEY holds the hex digits)")
        ->type_name("FILE");
    app.add_flag("--fingerprints", opts.fingerprints,
                 "Show each password as the first 16 hex digits of its keyed digest, the same on "
                 "every machine with the same key (needs a key)");
    app.add_option("--inventory", opts.inventories,
                   "An inventory of hosts (repeatable; - is standard input): a plain list of host "
                   "scopes, a hosts file, or an Ansible inventory in INI or YAML. Reports which "
                   "of its hosts get no key (no-credential) and which keys reach hosts in no "
                   "inventory (outside-inventory)")
        ->type_name("FILE")
        ->allow_extra_args(false);
    app.add_option("--inventory-format", opts.inventory_format,
                   "The format of every --inventory: plain, hosts, ansible-ini or ansible-yaml; "
                   "by default each is found by its name and content")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"plain", "hosts", "ansible-ini", "ansible-yaml"}));
    app.set_version_flag("--version", std::string("credcheck ") + CREDCHECK_VERSION,
                         "Show the version and exit");

    try {
        app.parse(argc, argv);
        if (json && format_option->count() > 0 && format != "json") {
            throw CLI::ValidationError("--json", "is --format json, not --format " + format);
        }
        opts.format = json ? "json" : format;
        opts.colour = colour == "always"  ? colour_mode::always
                      : colour == "never" ? colour_mode::never
                                          : colour_mode::automatic;
        if (std::any_of(opts.files.begin(), opts.files.end(),
                        [](const std::string& path) { return path.empty(); })) {
            throw CLI::ValidationError("FILE", "a path is empty");
        }
        if (std::any_of(opts.inventories.begin(), opts.inventories.end(),
                        [](const std::string& path) { return path.empty(); })) {
            throw CLI::ValidationError("--inventory", "a path is empty");
        }
        if (opts.inventory_format && opts.inventories.empty()) {
            throw CLI::ValidationError("--inventory-format", "names the format of no --inventory");
        }
        const auto stdin_reads =
            std::count(opts.files.begin(), opts.files.end(), STANDARD_INPUT) +
            std::count(opts.inventories.begin(), opts.inventories.end(), STANDARD_INPUT);
        if (stdin_reads > 1) {
            throw CLI::ValidationError("FILE",
                                       "- is given " + std::to_string(stdin_reads) +
                                           " times, and standard input can be read only once");
        }
        if (opts.stdin_name && opts.stdin_name->empty()) {
            throw CLI::ValidationError("--stdin-filename", "the name is empty");
        }
        if (opts.stdin_name &&
            std::count(opts.files.begin(), opts.files.end(), STANDARD_INPUT) == 0 &&
            !opts.files.empty()) {
            throw CLI::ValidationError("--stdin-filename",
                                       "names standard input, which is not read: give - as a FILE");
        }
        if (opts.diff && opts.files.size() != 2) {
            throw CLI::ValidationError(
                "--diff", "takes two files, OLD and NEW, not " + std::to_string(opts.files.size()));
        }
        if (opts.diff &&
            (opts.host || opts.strict || opts.verbose || opts.all_keys || !opts.ignore.empty() ||
             opts.check_file_mode || opts.baseline || opts.write_baseline || opts.fingerprint_key ||
             opts.fingerprints || !opts.inventories.empty() || max_entries->count() > 0 ||
             min_password_bits->count() > 0 || find_format(opts.format)->write_diff == nullptr)) {
            throw CLI::ValidationError("--diff",
                                       "takes --reveal, --json or --format text|json, --color "
                                       "and --stdin-filename, and no other option");
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
        err << "credcheck: " << terminal_text(error.what()) << '\n' << HELP_HINT;
        parsed.exit_status = EXIT_TROUBLE;
        return parsed;
    }

    if (opts.files.empty() &&
        std::count(opts.inventories.begin(), opts.inventories.end(), STANDARD_INPUT) > 0) {
        err << "credcheck: no FILE given, and standard input is read as an --inventory: name a "
               "credential file\n"
            << HELP_HINT;
        parsed.exit_status = EXIT_TROUBLE;
        return parsed;
    }
    if (opts.files.empty()) {
        // Nobody types a credential file into a terminal: without a file, the tool was started
        // by someone who wants to know how to use it.
        if (::isatty(STDIN_FILENO) == 1) {
            const auto formatter = std::dynamic_pointer_cast<CLI::Formatter>(app.get_formatter());
            err << "credcheck: no FILE given, and standard input is a terminal: name a credential "
                   "file, or - to read standard input\n"
                << (formatter ? formatter->make_usage(&app, app.get_name()) : std::string())
                << HELP_HINT;
            parsed.exit_status = EXIT_TROUBLE;
            return parsed;
        }
        opts.files.emplace_back(STANDARD_INPUT);
    }
    return parsed;
}

}  // namespace credcheck
