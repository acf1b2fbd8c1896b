#include "PlainTextFileParser/detail/RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace plain_text_detail {

RegularFile::RegularFile(const std::string& path) noexcept {
    struct stat seen {};
    if (::stat(path.c_str(), &seen) != 0) {
        failure_ = open_failure::system_error;
        error_ = errno;
        return;
    }
    if (!S_ISREG(seen.st_mode)) {
        failure_ = open_failure::not_regular;
        status_ = seen;
        return;
    }
    // O_NONBLOCK changes nothing for a regular file; it keeps the open from waiting should the
    // path be swapped for a FIFO after the stat above.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        failure_ = open_failure::system_error;
        error_ = errno;
        return;
    }
    if (::fstat(fd_, &status_) != 0) {
        failure_ = open_failure::system_error;
        error_ = errno;
        close();
        return;
    }
    if (!S_ISREG(status_.st_mode) || status_.st_dev != seen.st_dev ||
        status_.st_ino != seen.st_ino) {
        failure_ = open_failure::replaced;
        close();
    }
}

RegularFile::~RegularFile() {
    close();
}

void RegularFile::close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::size_t RegularFile::read(char* buffer, std::size_t size) noexcept {
    size = std::min(size, remaining());
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
        const ssize_t got = ::read(fd_, buffer + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error_ = errno;
            break;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    position_ += done;
    return done;
}

std::size_t RegularFile::remaining() const noexcept {
    const auto size = static_cast<std::size_t>(status_.st_size > 0 ? status_.st_size : 0);
    return size > position_ ? size - position_ : 0;
}

std::string RegularFile::read_all() {
    std::string text(remaining(), '\0');
    text.resize(read(text.data(), text.size()));
    return text;
}

}  // namespace plain_text_detail
