#include "CredentialFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace credcheck {

namespace {

// Closes the descriptor it holds.
class file_descriptor {
public:
    explicit file_descriptor(int fd) : fd_(fd) {}
    file_descriptor(const file_descriptor&) = delete;
    file_descriptor& operator=(const file_descriptor&) = delete;
    ~file_descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::string error_text(int error_number) {
    return std::strerror(error_number);
}

}  // namespace

credential_file read_credential_file(const std::string& path) {
    credential_file file;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const file_descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        file.error = error_text(errno);
        return file;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        file.error = error_text(errno);
        return file;
    }
    if (!S_ISREG(status.st_mode)) {
        file.error = "not a regular file";
        return file;
    }
    file.mode = status.st_mode & 07777;

    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            file.error = error_text(errno);
            file.text.clear();
            return file;
        }
        if (got == 0) {
            break;
        }
        file.text.append(buffer, static_cast<std::size_t>(got));
    }
    return file;
}

}  // namespace credcheck
