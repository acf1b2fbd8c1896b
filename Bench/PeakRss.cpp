// Runs a program and says what it took: wall time, peak resident memory and exit status.
//
// Usage: ptfp_peak_rss PROGRAM [ARGS...]
// The program's standard output is this one's; its standard error is dropped. Prints
// "SECONDS PEAK_BYTES STATUS" on standard error. A process's peak resident memory counts what
// its parent held when it was forked, so whole programs are measured from this small parent,
// not from a script holding the files it wrote.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ptfp_peak_rss PROGRAM [ARGS...]\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::execv(argv[1], argv + 1);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child) {
        std::perror("ptfp_peak_rss");
        return 2;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    std::fprintf(stderr, "%.6f %ld %d\n", elapsed.count(), usage.ru_maxrss * 1024L,
                 WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}
