#pragma once
// An input stream over a credential file (see InputFile), and one over text in memory.

#include <istream>
#include <streambuf>
#include <string>
#include <string_view>

#include <PlainTextFileParser/Export.h>

#include "PlainTextFileParser/detail/InputFile.h"

namespace plain_text_detail {

/// A stream buffer that reads an InputFile: small reads go through a buffer of its own, large
/// ones (a whole document) straight into the caller's memory, and `in_avail()` tells how much
/// of a regular file is left. A stream that turns out longer than STREAM_LIMIT makes the read
/// throw input_too_long. Its buffer is wiped when it ends.
class PLAINTEXTFILEPARSER_EXPORT InputFileBuffer : public std::streambuf {
public:
    explicit InputFileBuffer(InputFile& file) : file_(file) {}
    ~InputFileBuffer() override;

protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* buffer, std::streamsize count) override;
    std::streamsize showmanyc() override;

private:
    // file_.read, throwing input_too_long when the stream went past its limit.
    std::size_t read(char* buffer, std::size_t size);

    InputFile& file_;
    char buffer_[4096];
};

/// Opens `path` for reading (see InputFile). A path that is refused or cannot be opened leaves
/// the stream not good(), as for a missing file.
class PLAINTEXTFILEPARSER_EXPORT InputFileStream {
public:
    explicit InputFileStream(const std::string& path);
    InputFileStream(const InputFileStream&) = delete;
    InputFileStream& operator=(const InputFileStream&) = delete;

    /// The stream over the file; not good() when the file was refused.
    std::istream& stream() { return stream_; }
    /// The file, with its status and why it was refused.
    const InputFile& file() const { return file_; }

private:
    InputFile file_;
    InputFileBuffer buffer_;
    std::istream stream_;
};

/// A stream buffer that delivers the caller's text where it stands, without a copy of its own.
/// The text must outlive the buffer; it is only ever read.
class PLAINTEXTFILEPARSER_EXPORT TextBuffer : public std::streambuf {
public:
    explicit TextBuffer(std::string_view text);
};

}  // namespace plain_text_detail
