#pragma once
// The one way this project opens and reads a credential file.

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include <PlainTextFileParser/Export.h>

namespace plain_text_detail {

/// Why a path could not be opened as a regular file.
enum class open_failure {
    none,
    /// stat, open or fstat failed; `RegularFile::error()` holds errno.
    system_error,
    /// The path names a directory, FIFO, socket or device; `RegularFile::status()` tells which.
    not_regular,
    /// The path named another file by the time it was opened (it was replaced in between).
    replaced,
};

/// A regular file opened for reading, and nothing else, read no further than the size it had
/// when it was opened.
///
/// The path is looked at with stat() first, so a directory, FIFO, socket or device is refused
/// without ever being opened (opening a tape or a terminal can have effects of its own). A
/// regular file is opened with O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, and fstat() must
/// find the same file (device and inode) that stat() saw. Symbolic links are followed.
///
/// The size fstat() reports at that moment is where the file ends for this object: a file that
/// another process keeps appending to is read as it was when it was opened, and one that shrinks
/// meanwhile ends early. So a read takes bounded time and memory whatever happens to the file.
/// The descriptor is closed when the object ends. Neither copied nor moved.
class PLAINTEXTFILEPARSER_EXPORT RegularFile {
public:
    /// Opens `path`; check `is_open()`. Never throws.
    explicit RegularFile(const std::string& path) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    bool is_open() const noexcept { return fd_ >= 0; }
    open_failure failure() const noexcept { return failure_; }
    /// errno of the failed call when `failure()` is open_failure::system_error, else 0.
    int error() const noexcept { return error_; }
    /// What fstat() said of the open file, or what stat() said of the path that was refused as
    /// not regular. Zero-filled when neither call succeeded.
    const struct stat& status() const noexcept { return status_; }

    /// Reads up to `size` bytes into `buffer`, retrying reads interrupted by signals, and returns
    /// how many it read: fewer than `size` only at the end of the file (its size at open, or an
    /// earlier end when it has shrunk) or on a read error (then `error()` holds errno). Never
    /// throws.
    std::size_t read(char* buffer, std::size_t size) noexcept;

    /// Bytes between the read position and the end of the file as its size was when it was
    /// opened. Never throws.
    std::size_t remaining() const noexcept;

    /// Everything from the read position to the end of the file as its size was when it was
    /// opened. Throws std::bad_alloc.
    std::string read_all();

private:
    void close() noexcept;

    int fd_ = -1;
    open_failure failure_ = open_failure::none;
    int error_ = 0;
    struct stat status_ {};
    std::size_t position_ = 0;
};

}  // namespace plain_text_detail
