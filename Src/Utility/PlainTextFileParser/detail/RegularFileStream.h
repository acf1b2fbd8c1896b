#pragma once
// An input stream over a regular file, and nothing else.

#include <istream>
#include <streambuf>
#include <string>

#include <PlainTextFileParser/Export.h>

#include "PlainTextFileParser/detail/RegularFile.h"

namespace plain_text_detail {

/// A stream buffer that reads a RegularFile: small reads go through a buffer of its own, large
/// ones (a whole document) straight into the caller's memory, and `in_avail()` tells how much
/// of the file is left.
class PLAINTEXTFILEPARSER_EXPORT RegularFileBuffer : public std::streambuf {
public:
    explicit RegularFileBuffer(RegularFile& file) : file_(file) {}

protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* buffer, std::streamsize count) override;
    std::streamsize showmanyc() override;

private:
    RegularFile& file_;
    char buffer_[4096];
};

/// Opens `path` for reading when it names a regular file (see RegularFile). Anything else, and
/// a path that cannot be opened, leaves the stream not good(), as for a missing file.
class PLAINTEXTFILEPARSER_EXPORT RegularFileStream {
public:
    explicit RegularFileStream(const std::string& path);
    RegularFileStream(const RegularFileStream&) = delete;
    RegularFileStream& operator=(const RegularFileStream&) = delete;

    /// The stream over the file; not good() when the file was refused.
    std::istream& stream() { return stream_; }
    /// The file, with its status and why it was refused.
    const RegularFile& file() const { return file_; }

private:
    RegularFile file_;
    RegularFileBuffer buffer_;
    std::istream stream_;
};

}  // namespace plain_text_detail
