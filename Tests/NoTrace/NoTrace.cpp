// Leaves PlainTextParser no copy of a password behind? Parses documents whose every password
// carries a marker, from a file, a pipe on standard input, a pipe named /dev/fd/N (as a shell's
// process substitution hands it over) and text in memory; checks that its own writable memory
// (heap, stacks, statics) holds the marker once per map value while the map lives, and nowhere
// once the map is wiped.
//
// The marker lives in read-only data, which the scan skips; the documents are written by child
// processes, and the text handed to parse_text is read with read(2) into one buffer that is wiped,
// so that no copy of the test's own remains. Usage: no_trace [SCRATCH_DIRECTORY]

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <PlainTextFileParser/PlainTextFileParser.h>

namespace {

// Every password holds this once; nothing else does.
static const char MARKER[] = "Kq7~nTm!";

// --- the scan -----------------------------------------------------------------------------------

struct region {
    unsigned long begin;
    unsigned long end;
};

// The writable mappings of this process, read with read(2) into static memory: a buffer of the
// heap could move or vanish while the scan runs.
std::size_t writable_regions(region* regions, std::size_t most) {
    static char maps[1 << 20];
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror("no_trace: /proc/self/maps");
        std::exit(2);
    }
    std::size_t length = 0;
    ssize_t got = 0;
    while ((got = ::read(fd, maps + length, sizeof maps - 1 - length)) > 0) {
        length += static_cast<std::size_t>(got);
    }
    ::close(fd);
    maps[length] = '\0';
    std::size_t count = 0;
    for (char* line = maps; *line != '\0' && count < most;) {
        char* const next_line = std::strchr(line, '\n');
        if (next_line != nullptr) {
            *next_line = '\0';
        }
        unsigned long begin = 0;
        unsigned long end = 0;
        char permissions[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &begin, &end, permissions) == 3 &&
            permissions[0] == 'r' && permissions[1] == 'w' &&
            std::strstr(line, "[vvar]") == nullptr) {
            regions[count++] = {begin, end};
        }
        line = next_line != nullptr ? next_line + 1 : line + std::strlen(line);
    }
    return count;
}

// How often the marker stands in writable memory.
std::size_t marker_copies() {
    static region regions[4096];
    const std::size_t count = writable_regions(regions, sizeof regions / sizeof regions[0]);
    std::size_t found = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char* at = reinterpret_cast<const char*>(regions[i].begin);
        const char* const end = reinterpret_cast<const char*>(regions[i].end);
        while (at < end) {
            const void* hit =
                ::memmem(at, static_cast<std::size_t>(end - at), MARKER, sizeof MARKER - 1);
            if (hit == nullptr) {
                break;
            }
            ++found;
            at = static_cast<const char*>(hit) + 1;
        }
    }
    return found;
}

// --- the documents, written by a child process --------------------------------------------------

void write_all(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote <= 0) {
            std::_Exit(3);
        }
        done += static_cast<std::size_t>(wrote);
    }
}

// `credentials` credentials, each used by one target (a /30 for every tenth: two keys), by the
// KMS and BMC lists for the first few, and both passwords; one password `long_password` bytes
// long. Some passwords hold escapes, which the JSON parser resolves through buffers of its own.
std::string document(std::size_t credentials, std::size_t long_password) {
    std::string text = "{\n  // a comment before the credentials\n  \"connection_credentials\": {";
    for (std::size_t i = 0; i < credentials; ++i) {
        text += i == 0 ? "\n" : ",\n";
        text += "    \"c" + std::to_string(i) + "\": \"user" + std::to_string(i % 7) + ":";
        text += MARKER;
        text += std::to_string(i);
        // Half of the passwords are short enough to stand inside a string object; the rest
        // are long, and every third one holds escapes.
        if (i % 2 == 1) {
            text += i % 3 == 0 ? "-\\u0041\\\"-long-password" : "-long-password";
        }
        if (i == 0) {
            text.append(long_password, 'x');
        }
        text += "\"";
    }
    text += "\n  },\n  \"target_systems\": [";
    for (std::size_t i = 0; i < credentials; ++i) {
        text += i == 0 ? "\n" : ",\n";
        const std::string host = "10." + std::to_string(i / 65536 % 256) + "." +
                                 std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
        text += "    \"c" + std::to_string(i) + "@" +
                (i % 10 == 0 ? "10.200." + std::to_string(i / 10 % 250) + ".0/30" : host) + "\"";
    }
    text += "\n  ],\n  \"kms_credentials\": [\"c1\", \"c2\"],\n  \"bmc_credentials\": [\"c3\"],\n";
    text += "  \"privpassword\": \"";
    text += MARKER;
    text += "p\",\n  \"newpassword\": \"";
    text += MARKER;
    text += "n\"\n}\n";
    return text;
}

// Runs `write` in a child process, which exits when done.
template <class Write>
pid_t in_child(Write write) {
    const pid_t child = ::fork();
    if (child == 0) {
        write();
        std::_Exit(0);
    }
    return child;
}

void wait_for(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "no_trace: the writer failed\n");
        std::exit(2);
    }
}

// --- the ways in --------------------------------------------------------------------------------

enum class source { file, standard_input, process_substitution, text };

const char* name_of(source how) {
    switch (how) {
        case source::file:
            return "file";
        case source::standard_input:
            return "/dev/stdin";
        case source::process_substitution:
            return "/dev/fd/N";
        case source::text:
            return "parse_text";
    }
    return "?";
}

CorvexResult parse_through_pipe(const std::string& path, int reader,
                                std::map<std::string, std::string>& out) {
    const CorvexResult result = PlainTextParser::parse(path, out);
    ::close(reader);
    return result;
}

// Parses the document of `credentials` credentials coming in by `how` into `out`.
CorvexResult parse(source how, const std::string& scratch, std::size_t credentials,
                   std::size_t long_password, std::map<std::string, std::string>& out) {
    const std::string path = scratch + "/credentials.json";
    if (how == source::file || how == source::text) {
        wait_for(in_child([&] {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            write_all(fd, document(credentials, long_password));
        }));
        if (how == source::file) {
            return PlainTextParser::parse(path, out);
        }
        // The caller's own copy of the text: read into one buffer, wiped once parsed.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const off_t size = ::lseek(fd, 0, SEEK_END);
        char* const text = static_cast<char*>(std::malloc(static_cast<std::size_t>(size)));
        const ssize_t got = ::pread(fd, text, static_cast<std::size_t>(size), 0);
        ::close(fd);
        const CorvexResult result =
            PlainTextParser::parse_text(std::string_view(text, got > 0 ? got : 0), out);
        ::explicit_bzero(text, static_cast<std::size_t>(size));
        std::free(text);
        return result;
    }
    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0) {
        std::exit(2);
    }
    const pid_t writer = in_child([&] {
        ::close(pipe_ends[0]);
        write_all(pipe_ends[1], document(credentials, long_password));
    });
    ::close(pipe_ends[1]);
    CorvexResult result(0);
    if (how == source::standard_input) {
        const int saved = ::dup(0);
        ::dup2(pipe_ends[0], 0);
        result = parse_through_pipe("/dev/stdin", pipe_ends[0], out);
        ::dup2(saved, 0);
        ::close(saved);
    } else {
        result = parse_through_pipe("/dev/fd/" + std::to_string(pipe_ends[0]), pipe_ends[0], out);
    }
    wait_for(writer);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string scratch = argc > 1 ? argv[1] : "/tmp";
    const struct {
        std::size_t credentials;
        std::size_t long_password;
    } sizes[] = {{50, 0}, {20000, 0}, {3, 100000}};
    int failures = 0;
    int passes = 0;
    for (const source how :
         {source::file, source::standard_input, source::process_substitution, source::text}) {
        for (const auto& size : sizes) {
            std::map<std::string, std::string> out;
            const CorvexResult result =
                parse(how, scratch, size.credentials, size.long_password, out);
            // Every value holds a password, each with the marker once: the control, which the
            // scan must find while the map lives.
            const std::size_t alive = marker_copies();
            const std::size_t values = out.size();
            PlainTextParser::wipe_credentials(out);
            const std::size_t left = marker_copies();
            const bool passed = result.code == RESULT_SUCCEED && values > size.credentials &&
                                alive == values && left == 0 && out.empty();
            std::printf(
                "%-5s %-10s %6zu credentials%s: %zu entries, %zu copies while the map "
                "lives, %zu after the wipe\n",
                passed ? "ok" : "FAIL", name_of(how), size.credentials,
                size.long_password > 0 ? " (one long password)" : "", values, alive, left);
            (passed ? passes : failures) += 1;
        }
    }
    std::printf("%d passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
}
