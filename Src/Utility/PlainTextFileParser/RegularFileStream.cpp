#include "PlainTextFileParser/detail/RegularFileStream.h"

#include <algorithm>
#include <cstring>

namespace plain_text_detail {

RegularFileBuffer::int_type RegularFileBuffer::underflow() {
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    const std::size_t got = file_.read(buffer_, sizeof buffer_);
    if (got == 0) {
        return traits_type::eof();
    }
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(*gptr());
}

std::streamsize RegularFileBuffer::xsgetn(char* buffer, std::streamsize count) {
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
    return buffered + static_cast<std::streamsize>(file_.read(buffer + buffered, wanted));
}

std::streamsize RegularFileBuffer::showmanyc() {
    const std::size_t left = file_.remaining();
    return left == 0 ? 0 : static_cast<std::streamsize>(left);
}

RegularFileStream::RegularFileStream(const std::string& path)
    : file_(path), buffer_(file_), stream_(&buffer_) {
    if (!file_.is_open()) {
        stream_.setstate(std::ios_base::failbit);
    }
}

}  // namespace plain_text_detail
