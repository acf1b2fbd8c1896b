// credcheck: shows what PlainTextParser::parse makes of a credential file, and why.
//
// Exit status: 0 when the parser returns RESULT_SUCCEED (and, with --strict, no finding of
// warning severity or above; with --diff, when both files hand out the same map), 1 otherwise
// (and with --host when the host gets no key), 2 for bad usage, a file that cannot be read (a
// stream longer than the walk reads too), running out of memory, or a report that could not be
// written. With several files, the highest of their statuses.

#include <sys/prctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <PlainTextFileParser/detail/InputFile.h>

#include "Diff.h"
#include "DiffReport.h"
#include "GccReport.h"
#include "HumanReport.h"
#include "JsonReport.h"
#include "Options.h"
#include "Report.h"
#include "SafeText.h"
#include "SarifReport.h"
#include "TerminalWriter.h"

namespace {

using credcheck::output_format;

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

// "credcheck: cannot read NAME: longer than 256 MiB" on standard error, for `file` of the
// command line: a stream (a pipe, a device) past the most the walk reads, which it did not parse
// at all. The name is escaped; no walk of it holds passwords to mask.
int too_long(const std::string& file, const credcheck::options& opts) {
    std::cerr << "credcheck: cannot read "
              << credcheck::terminal_text(credcheck::input_name(file, opts)) << ": longer than "
              << (plain_text_detail::STREAM_LIMIT >> 20) << " MiB, the most read from a stream\n";
    return credcheck::EXIT_TROUBLE;
}

// credcheck --diff OLD NEW.
int compare(const credcheck::options& opts) {
    std::optional<credcheck::file_walk> walked[2];
    for (std::size_t i = 0; i < 2; ++i) {
        try {
            walked[i].emplace(credcheck::walk_input(opts.files[i], opts));
        } catch (const plain_text_detail::input_too_long&) {
            return too_long(opts.files[i], opts);
        }
    }
    credcheck::file_walk& before = *walked[0];
    credcheck::file_walk& after = *walked[1];
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
    if (opts.format == output_format::json) {
        credcheck::write_json_diff(std::cout, diff, mask, opts.reveal);
    } else {
        credcheck::write_human_diff(std::cout, diff, mask, opts.reveal,
                                    credcheck::colour_wanted(opts.colour));
    }
    return flushed(diff.maps_differ() ? credcheck::EXIT_FINDINGS : credcheck::EXIT_CLEAN);
}

// One report of the run: what it says of `path`, written in its format.
void write_report(const credcheck::report& report, const credcheck::options& opts) {
    switch (opts.format) {
        case output_format::text:
            credcheck::write_human_report(std::cout, report, credcheck::colour_wanted(opts.colour));
            break;
        case output_format::json:
            credcheck::write_json_report(std::cout, report);
            break;
        case output_format::gcc:
            credcheck::write_gcc_report(std::cout, report);
            break;
        case output_format::sarif:
            break;
    }
}

// credcheck [FILE...]: each file checked and reported in turn; several JSON reports make an
// array, and the SARIF log is one for all.
int check(const credcheck::options& opts) {
    int status = credcheck::EXIT_CLEAN;
    std::vector<const credcheck::report*> reports;
    const bool json_array = opts.format == output_format::json && opts.files.size() > 1;
    if (json_array) {
        std::cout << "[\n";
    }
    for (std::size_t i = 0; i < opts.files.size(); ++i) {
        // The last report, and every one the SARIF log needs, lives to the end; the others are
        // done with once written.
        std::unique_ptr<credcheck::report> passing;
        const credcheck::report* current = nullptr;
        try {
            if (i + 1 == opts.files.size() || opts.format == output_format::sarif) {
                current = &kept_to_the_end(credcheck::build_report(opts.files[i], opts));
            } else {
                passing = std::make_unique<credcheck::report>(
                    credcheck::build_report(opts.files[i], opts));
                current = passing.get();
            }
        } catch (const plain_text_detail::input_too_long&) {
            // The run stops here; what was written stays whole (the JSON array closed), and
            // the SARIF log, written last, is not written at all.
            if (json_array) {
                std::cout << "]\n";
            }
            return flushed(too_long(opts.files[i], opts));
        }
        const credcheck::report& report = *current;
        if (i > 0 && opts.format == output_format::text) {
            std::cout << '\n';
        } else if (i > 0 && json_array) {
            std::cout << ",\n";
        }
        write_report(report, opts);
        reports.push_back(&report);
        if (report.walk.refusal) {
            cannot_read(report.walk, report.mask);
        }
        status = std::max(status, credcheck::exit_status_for(report, opts));
    }
    if (json_array) {
        std::cout << "]\n";
    }
    if (opts.format == output_format::sarif) {
        std::vector<const credcheck::file_walk*> walks;
        for (const credcheck::report* report : reports) {
            walks.push_back(&report->walk);
        }
        credcheck::write_sarif_report(std::cout, reports, credcheck::mask_for(walks, opts.reveal));
    }
    return flushed(status);
}

}  // namespace

int main(int argc, char** argv) {
    // The tool holds every password of the files it reads: no core dump of it, and no other
    // process of the user may read its memory. Where the call fails the check goes on, as
    // checking a file matters more than the guard, and says nothing, since editors and hooks
    // that run it show whatever it writes to standard error as a problem of the file.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // Reports are written in blocks; standard output need not keep pace with C's stdio.
    std::ios::sync_with_stdio(false);
    const credcheck::command_line command =
        credcheck::parse_command_line(argc, argv, std::cout, std::cerr);
    if (command.exit_status) {
        return flushed(*command.exit_status);
    }
    const credcheck::options& opts = command.opts;
    try {
        return opts.diff ? compare(opts) : check(opts);
    } catch (const credcheck::output_failed&) {
        return output_trouble();
    } catch (const std::bad_alloc&) {
        std::cerr << "credcheck: out of memory\n";
    } catch (const std::exception& error) {
        std::cerr << "credcheck: " << credcheck::terminal_text(error.what()) << '\n';
    }
    return credcheck::EXIT_TROUBLE;
}
