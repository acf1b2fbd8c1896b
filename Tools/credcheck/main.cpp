// credcheck: shows what PlainTextParser::parse makes of a credential file, and why.
//
// Exit status: 0 when the parser returns RESULT_SUCCEED (and, with --strict, the report is
// clean; with --diff, when both files hand out the same map), 1 otherwise (and with --host when
// the host gets no key), 2 for bad usage, a file that cannot be read, running out of memory, or
// a report that could not be written.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "Diff.h"
#include "DiffReport.h"
#include "HumanReport.h"
#include "JsonReport.h"
#include "Options.h"
#include "Report.h"
#include "SafeText.h"
#include "TerminalWriter.h"

namespace {

// What a run built is kept until the process ends: the system takes a process's memory back at
// once, where freeing a fleet-sized walk node by node, map entry by map entry, takes a good part
// of what the walk took (see the README's performance section). Reachable to the last, it is no
// leak to a leak checker either.
template <class Built>
const Built& kept_to_the_end(Built built) {
    static std::vector<std::unique_ptr<Built>>* kept = new std::vector<std::unique_ptr<Built>>;
    kept->push_back(std::make_unique<Built>(std::move(built)));
    return *kept->back();
}

// Says why standard output failed, and returns EXIT_TROUBLE.
int output_trouble() {
    // The write that failed is long past and errno with it: one more byte asks again why.
    std::clearerr(stdout);
    errno = 0;
    const int error = std::fputc('\n', stdout) == EOF || std::fflush(stdout) != 0 ? errno : 0;
    std::cerr << "credcheck: cannot write to standard output: "
              << (error != 0 ? std::strerror(error) : "write error") << '\n';
    return credcheck::EXIT_TROUBLE;
}

// Flushes standard output and returns `status`, or says why it failed and returns EXIT_TROUBLE
// when what was written did not all get out (a full disk, a closed pipe).
int flushed(int status) {
    std::cout.flush();
    if (std::cout && std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return status;
    }
    return output_trouble();
}

// "credcheck: cannot read PATH: REASON" on standard error, the path masked and escaped.
void cannot_read(const credcheck::file_walk& walk, const credcheck::secret_mask& mask) {
    std::cerr << "credcheck: cannot read "
              << credcheck::masked_text(walk.path, mask, credcheck::terminal_text) << ": "
              << walk.refusal->reason << '\n';
}

// credcheck --diff OLD NEW.
int compare(const credcheck::options& opts) {
    credcheck::file_walk before = credcheck::walk_file(opts.diff[0]);
    credcheck::file_walk after = credcheck::walk_file(opts.diff[1]);
    const credcheck::secret_mask mask = credcheck::mask_for({&before, &after}, opts.reveal);
    bool readable = true;
    for (const credcheck::file_walk* walk : {&before, &after}) {
        if (walk->refusal) {
            cannot_read(*walk, mask);
            readable = false;
        }
    }
    if (!readable) {
        return credcheck::EXIT_TROUBLE;
    }
    const credcheck::file_diff& diff =
        kept_to_the_end(credcheck::diff_walks(std::move(before), std::move(after)));
    if (opts.json) {
        credcheck::write_json_diff(std::cout, diff, mask, opts.reveal);
    } else {
        credcheck::write_human_diff(std::cout, diff, mask, opts.reveal, credcheck::colour_wanted());
    }
    return flushed(diff.maps_differ() ? credcheck::EXIT_FINDINGS : credcheck::EXIT_CLEAN);
}

// credcheck [FILE].
int check(const credcheck::options& opts) {
    const credcheck::report& report = kept_to_the_end(credcheck::build_report(opts));
    if (opts.json) {
        credcheck::write_json_report(std::cout, report);
    } else {
        credcheck::write_human_report(std::cout, report, credcheck::colour_wanted());
    }
    const int status = flushed(credcheck::exit_status_for(report, opts));
    if (report.walk.refusal) {
        cannot_read(report.walk, report.mask);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Reports are written in blocks; standard output need not keep pace with C's stdio.
    std::ios::sync_with_stdio(false);
    const credcheck::command_line command =
        credcheck::parse_command_line(argc, argv, std::cout, std::cerr);
    if (command.exit_status) {
        return flushed(*command.exit_status);
    }
    const credcheck::options& opts = command.opts;
    try {
        return opts.diff.empty() ? check(opts) : compare(opts);
    } catch (const credcheck::output_failed&) {
        return output_trouble();
    } catch (const std::bad_alloc&) {
        std::cerr << "credcheck: out of memory\n";
    } catch (const std::exception& error) {
        std::cerr << "credcheck: " << credcheck::terminal_text(error.what()) << '\n';
    }
    return credcheck::EXIT_TROUBLE;
}
