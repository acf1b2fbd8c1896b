// credcheck: shows what PlainTextParser::parse makes of a credential file, and why.
//
// Exit status: 0 when the parser returns RESULT_SUCCEED (and, with --strict, the report is
// clean; with --diff, when both files hand out the same map), 1 otherwise (and with --host when
// the host gets no key), 2 for bad usage, a file --diff cannot read, or a report that could not
// be written.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#include "Diff.h"
#include "DiffReport.h"
#include "HumanReport.h"
#include "JsonReport.h"
#include "Options.h"
#include "Report.h"
#include "SafeText.h"

namespace {

// Flushes standard output and returns `status`, or EXIT_TROUBLE, with a message on standard
// error, when what was written did not all get out (a full disk, a closed pipe).
int flushed(int status) {
    std::cout.flush();
    if (std::cout && std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return status;
    }
    // The write that failed is long past and errno with it: one more byte asks again why.
    std::clearerr(stdout);
    errno = 0;
    const int error = std::fputc('\n', stdout) == EOF || std::fflush(stdout) != 0 ? errno : 0;
    std::cerr << "credcheck: cannot write to standard output: "
              << (error != 0 ? std::strerror(error) : "write error") << '\n';
    return credcheck::EXIT_TROUBLE;
}

// credcheck --diff OLD NEW.
int compare(const credcheck::options& opts) {
    credcheck::file_walk before = credcheck::walk_file(opts.diff[0]);
    credcheck::file_walk after = credcheck::walk_file(opts.diff[1]);
    for (const credcheck::file_walk* walk : {&before, &after}) {
        if (walk->refusal) {
            std::cerr << "credcheck: cannot read " << credcheck::terminal_text(walk->path) << ": "
                      << walk->refusal->reason << '\n';
            return credcheck::EXIT_TROUBLE;
        }
    }
    std::vector<std::string> secrets = before.secrets;
    secrets.insert(secrets.end(), after.secrets.begin(), after.secrets.end());
    const credcheck::secret_mask mask =
        opts.reveal ? credcheck::secret_mask() : credcheck::secret_mask(secrets);
    const credcheck::file_diff diff = credcheck::diff_walks(std::move(before), std::move(after));
    if (opts.json) {
        credcheck::write_json(std::cout, credcheck::json_diff(diff, opts.reveal), mask);
    } else {
        credcheck::write_human_diff(std::cout, diff, mask, opts.reveal, credcheck::colour_wanted());
    }
    return flushed(diff.maps_differ() ? credcheck::EXIT_FINDINGS : credcheck::EXIT_CLEAN);
}

}  // namespace

int main(int argc, char** argv) {
    const credcheck::command_line command =
        credcheck::parse_command_line(argc, argv, std::cout, std::cerr);
    if (command.exit_status) {
        return flushed(*command.exit_status);
    }
    const credcheck::options& opts = command.opts;
    try {
        if (!opts.diff.empty()) {
            return compare(opts);
        }
        const credcheck::report report = credcheck::build_report(opts);
        if (opts.json) {
            credcheck::write_json(std::cout, credcheck::json_report(report), report.mask);
        } else {
            credcheck::write_human_report(std::cout, report, credcheck::colour_wanted());
        }
        return flushed(credcheck::exit_status_for(report, opts));
    } catch (const std::bad_alloc&) {
        std::cerr << "credcheck: out of memory\n";
    } catch (const std::exception& error) {
        std::cerr << "credcheck: " << credcheck::terminal_text(error.what()) << '\n';
    }
    return credcheck::EXIT_TROUBLE;
}
