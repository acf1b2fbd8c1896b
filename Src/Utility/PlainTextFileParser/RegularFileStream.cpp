#include "PlainTextFileParser/RegularFileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plain_text_detail {
namespace {

// Opens `path` without blocking (a FIFO with no writer would otherwise block) and keeps the
// descriptor only when it is a regular file; O_NONBLOCK changes nothing for reading those.
// Returns -1 otherwise.
int open_regular_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

RegularFileStream::RegularFileStream(const std::string& path) : stream_(nullptr) {
    const int fd = open_regular_file(path);
    if (fd < 0) {
        stream_.setstate(std::ios_base::failbit);
        return;
    }
    try {
        // The buffer owns the descriptor from here on and closes it. Its own buffer is one byte:
        // the document is read in one block, straight into the caller's string.
        buffer_.emplace(fd, std::ios_base::in, 1);
    } catch (...) {
        ::close(fd);
        throw;
    }
    stream_.rdbuf(&*buffer_);
}

}  // namespace plain_text_detail
