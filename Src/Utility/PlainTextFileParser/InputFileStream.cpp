#include "PlainTextFileParser/detail/InputFileStream.h"

#include <algorithm>
#include <cstring>

#include "PlainTextFileParser/detail/SecretMemory.h"

namespace plain_text_detail {

InputFileBuffer::~InputFileBuffer() {
    wipe_bytes(buffer_, sizeof buffer_);
}

std::size_t InputFileBuffer::read(char* buffer, std::size_t size) {
    const std::size_t got = file_.read(buffer, size);
    if (file_.too_long()) {
        wipe_bytes(buffer, got);
        throw input_too_long();
    }
    return got;
}

InputFileBuffer::int_type InputFileBuffer::underflow() {
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    const std::size_t got = read(buffer_, sizeof buffer_);
    if (got == 0) {
        return traits_type::eof();
    }
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(*gptr());
}

std::streamsize InputFileBuffer::xsgetn(char* buffer, std::streamsize count) {
    if (count <= 0) {
        return 0;
    }
    // What the buffer already holds first, then the rest straight from the file.
    const auto buffered = std::min<std::streamsize>(egptr() - gptr(), count);
    if (buffered > 0) {
        std::memcpy(buffer, gptr(), static_cast<std::size_t>(buffered));
        gbump(static_cast<int>(buffered));
    }
    const std::size_t wanted = static_cast<std::size_t>(count - buffered);
    return buffered + static_cast<std::streamsize>(read(buffer + buffered, wanted));
}

std::streamsize InputFileBuffer::showmanyc() {
    const std::size_t left = file_.remaining();
    return left == 0 ? 0 : static_cast<std::streamsize>(left);
}

InputFileStream::InputFileStream(const std::string& path)
    : file_(path), buffer_(file_), stream_(&buffer_) {
    if (!file_.is_open()) {
        stream_.setstate(std::ios_base::failbit);
    }
}

TextBuffer::TextBuffer(std::string_view text) {
    // The get area is never written through: std::streambuf only wants non-const pointers.
    char* const begin = const_cast<char*>(text.data());
    setg(begin, begin, begin + text.size());
}

}  // namespace plain_text_detail
