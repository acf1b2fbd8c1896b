#include "PlainTextFileParser/detail/StreamText.h"

#include <algorithm>
#include <streambuf>

#include "PlainTextFileParser/detail/InputFile.h"

namespace plain_text_detail {

secret_string read_stream_text(std::istream& is) {
    secret_string text;
    std::streambuf* buffer = is.rdbuf();
    if (buffer == nullptr) {
        return text;
    }
    constexpr std::size_t block = 64 * 1024;
    // A file buffer knows how much of a regular file is left, any other buffer at least what it
    // holds. One byte more, so that a file read whole comes back short and so is known to be at
    // its end. A stream's length is known only at its end: it grows by doubling, and what it
    // outgrows is wiped (secret_string's allocator).
    const std::streamsize available = buffer->in_avail();
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(available, 0)) + 1);
    std::size_t length = 0;
    for (;;) {
        if (length == text.size()) {
            std::size_t grown = std::max(text.size() * 2, text.size() + block);
            // A stream is read one byte past its limit at most: a string of exactly that size
            // holds all of it, where doubling would have taken twice as much.
            if (text.size() < STREAM_LIMIT + 1) {
                grown = std::min(grown, STREAM_LIMIT + 1);
            }
            text.resize(grown);
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
