#include "PlainTextFileParser/detail/StreamText.h"

#include <algorithm>
#include <streambuf>

namespace plain_text_detail {

std::string read_stream_text(std::istream& is) {
    std::string text;
    std::streambuf* buffer = is.rdbuf();
    if (buffer == nullptr) {
        return text;
    }
    constexpr std::size_t block = 64 * 1024;
    // A file buffer knows how much of its file is left, any other buffer at least what it holds.
    // One byte more, so that a file read whole comes back short and so is known to be at its end.
    const std::streamsize available = buffer->in_avail();
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(available, 0)) + 1);
    std::size_t length = 0;
    for (;;) {
        if (length == text.size()) {
            text.resize(std::max(text.size() * 2, text.size() + block));
        }
        const auto wanted = static_cast<std::streamsize>(text.size() - length);
        const std::streamsize got = buffer->sgetn(&text[length], wanted);
        length += static_cast<std::size_t>(std::max<std::streamsize>(got, 0));
        if (got < wanted) {
            break;  // a buffer delivers less than asked only at the end of its sequence
        }
    }
    text.resize(length);
    return text;
}

}  // namespace plain_text_detail
