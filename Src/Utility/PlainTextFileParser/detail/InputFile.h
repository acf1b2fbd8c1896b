#pragma once
// The one way this project opens and reads a credential file: a regular file, or a stream (a
// pipe, a FIFO, a character device) as a decrypting program hands it over.

#include <sys/stat.h>

#include <cstddef>
#include <stdexcept>
#include <string>

#include <PlainTextFileParser/Export.h>

namespace plain_text_detail {

/// The most a stream is read: a fleet of a million targets takes about 45 MB.
inline constexpr std::size_t STREAM_LIMIT = std::size_t{256} << 20;

/// Why a path could not be opened.
enum class open_failure {
    none,
    /// stat, open, fstat or fcntl failed; `InputFile::error()` holds errno.
    system_error,
    /// The path names a directory or a socket, neither of which is read; `InputFile::status()`
    /// tells which.
    unsupported,
    /// The path named another file by the time it was opened (it was replaced in between).
    replaced,
};

/// A stream delivered more than STREAM_LIMIT bytes: it is not parsed at all, since what fits
/// within the limit is only the beginning of a document.
class PLAINTEXTFILEPARSER_EXPORT input_too_long : public std::runtime_error {
public:
    input_too_long();
};

/// A file opened for reading, read within bounds.
///
/// The path is looked at with stat() first, so a directory or socket is refused without ever
/// being opened. Anything else is opened with O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, and
/// fstat() must find the same file (device and inode) that stat() saw. Symbolic links are
/// followed.
///
/// A regular file ends, for this object, at the size fstat() reports when it is opened: a file
/// that another process keeps appending to is read as it was then, and one that shrinks
/// meanwhile ends early.
///
/// Anything else (a pipe, a FIFO, /dev/stdin, /dev/fd/N, a device) is a stream, read to its end
/// with blocking reads once open, up to STREAM_LIMIT bytes and one more, so that a longer one is
/// known as such (`too_long()`). Opening does not wait for a FIFO's writer; a FIFO that nobody
/// has opened for writing reads as empty at once.
///
/// The descriptor is closed when the object ends. Neither copied nor moved.
class PLAINTEXTFILEPARSER_EXPORT InputFile {
public:
    /// Opens `path`; check `is_open()`. Never throws.
    explicit InputFile(const std::string& path) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    bool is_open() const noexcept { return fd_ >= 0; }
    open_failure failure() const noexcept { return failure_; }
    /// errno of the failed call when `failure()` is open_failure::system_error, else 0.
    int error() const noexcept { return error_; }
    /// What fstat() said of the open file, or what stat() said of the path that was refused.
    /// Zero-filled when neither call succeeded.
    const struct stat& status() const noexcept { return status_; }
    /// True when the file is read as a stream: not a regular file.
    bool is_stream() const noexcept { return !S_ISREG(status_.st_mode); }

    /// Reads up to `size` bytes into `buffer`, retrying reads interrupted by signals, and returns
    /// how many it read: fewer than `size` only at the end (of a regular file as its size was at
    /// open, or an earlier end; of a stream, or past STREAM_LIMIT + 1 bytes) or on a read error
    /// (then `error()` holds errno). Never throws.
    std::size_t read(char* buffer, std::size_t size) noexcept;

    /// Bytes of a regular file between the read position and its end as its size was when it
    /// was opened; 0 for a stream, whose length is not known before it ends. Never throws.
    std::size_t remaining() const noexcept;

    /// True once a stream has delivered more than STREAM_LIMIT bytes. Never throws.
    bool too_long() const noexcept { return is_stream() && position_ > STREAM_LIMIT; }

    /// Everything from the read position to the end of a regular file as its size was when it
    /// was opened. Throws std::bad_alloc.
    std::string read_all();

private:
    void close() noexcept;
    void refuse(open_failure failure, int error) noexcept;

    int fd_ = -1;
    open_failure failure_ = open_failure::none;
    int error_ = 0;
    struct stat status_ {};
    std::size_t position_ = 0;
};

}  // namespace plain_text_detail
