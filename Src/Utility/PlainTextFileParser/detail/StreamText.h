#pragma once
// Reading the whole rest of a stream into one string, as the binding reads a document.

#include <istream>
#include <string>

namespace plain_text_detail {

/// Everything the stream's buffer delivers from its position to the end of its sequence, read
/// in large blocks into one string, with no formatting or whitespace skipping. Throws
/// std::bad_alloc.
std::string read_stream_text(std::istream& is);

}  // namespace plain_text_detail
