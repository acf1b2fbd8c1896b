#include "PlainTextFileParser/detail/InputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace plain_text_detail {

input_too_long::input_too_long()
    : std::runtime_error("the input is longer than 256 MiB, the most a stream is read") {}

InputFile::InputFile(const std::string& path) noexcept {
    struct stat seen {};
    if (::stat(path.c_str(), &seen) != 0) {
        refuse(open_failure::system_error, errno);
        return;
    }
    if (S_ISDIR(seen.st_mode) || S_ISSOCK(seen.st_mode)) {
        status_ = seen;
        refuse(open_failure::unsupported, 0);
        return;
    }
    // O_NONBLOCK keeps the open from waiting for a FIFO's writer (and changes nothing for a
    // regular file); reads block again once the file is open.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        refuse(open_failure::system_error, errno);
        return;
    }
    if (::fstat(fd_, &status_) != 0) {
        refuse(open_failure::system_error, errno);
        return;
    }
    if ((status_.st_mode & S_IFMT) != (seen.st_mode & S_IFMT) || status_.st_dev != seen.st_dev ||
        status_.st_ino != seen.st_ino) {
        refuse(open_failure::replaced, 0);
        return;
    }
    // A FIFO without a writer reads as its end whether or not the reads block; one with a
    // writer must be waited for.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        refuse(open_failure::system_error, errno);
    }
}

InputFile::~InputFile() {
    close();
}

void InputFile::refuse(open_failure failure, int error) noexcept {
    failure_ = failure;
    error_ = error;
    close();
}

void InputFile::close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::size_t InputFile::read(char* buffer, std::size_t size) noexcept {
    // A stream is read one byte past its limit at most: that byte tells a stream that is too
    // long from one that ends right at the limit.
    size = std::min(
        size, is_stream() ? STREAM_LIMIT + 1 - std::min(position_, STREAM_LIMIT + 1) : remaining());
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

std::size_t InputFile::remaining() const noexcept {
    if (is_stream()) {
        return 0;
    }
    const auto size = static_cast<std::size_t>(status_.st_size > 0 ? status_.st_size : 0);
    return size > position_ ? size - position_ : 0;
}

std::string InputFile::read_all() {
    std::string text(remaining(), '\0');
    text.resize(read(text.data(), text.size()));
    return text;
}

}  // namespace plain_text_detail
