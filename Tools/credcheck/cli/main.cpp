// credcheck: shows what PlainTextParser::parse makes of a credential file, and why.
//
// Exit status: 0 when the parser returns RESULT_SUCCEED (and, with --strict, no finding of
// warning severity or above; with --diff, when both files hand out the same map), 1 otherwise
// (and with --host when the host gets no key), 2 for bad usage, a file that cannot be read (a
// stream longer than the walk reads too), running out of memory, or a report that could not be
// written. With several files, the highest of their statuses.

#include <sys/prctl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#include "cli/Options.h"
#include "cli/Run.h"
#include "render/TerminalWriter.h"
#include "text/SafeText.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
    // The tool holds every password of the files it reads: no core dump of it, and no other
    // process of the user may read its memory. Where the call fails the check goes on, as
    // checking a file matters more than the guard, and says nothing, since editors and hooks
    // that run it show whatever it writes to standard error as a problem of the file.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    try {
        // Reports are written in blocks; standard output need not keep pace with C's stdio.
        // Its buffers are allocated here: memory can run out before the first file is read.
        std::ios::sync_with_stdio(false);
        const credcheck::command_line command =
            credcheck::parse_command_line(argc, argv, std::cout, std::cerr);
        if (command.exit_status) {
            return flushed(*command.exit_status);
        }
        const credcheck::options& opts = command.opts;
        return flushed(opts.diff ? credcheck::compare(opts, std::cout, std::cerr)
                                 : credcheck::check(opts, std::cout, std::cerr));
    } catch (const credcheck::output_failed&) {
        return output_trouble();
    } catch (const std::bad_alloc&) {
        std::cerr << "credcheck: out of memory\n";
    } catch (const std::exception& error) {
        std::cerr << "credcheck: " << credcheck::terminal_text(error.what()) << '\n';
    }
    return credcheck::EXIT_TROUBLE;
}
