#pragma once
// An input stream over a regular file, and nothing else.

#include <ext/stdio_filebuf.h>
#include <istream>
#include <optional>
#include <string>

namespace plain_text_detail {

/// Opens `path` for reading when it names a regular file (symbolic links are followed). A
/// directory, FIFO, socket or device is refused without blocking and without reading from it;
/// the stream is then not good(), as for a file that does not exist.
class RegularFileStream {
public:
    explicit RegularFileStream(const std::string& path);

    /// The stream over the file; not good() when the file was refused.
    std::istream& stream() { return stream_; }

private:
    std::optional<__gnu_cxx::stdio_filebuf<char>> buffer_;
    std::istream stream_;
};

}  // namespace plain_text_detail
