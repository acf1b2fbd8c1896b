#pragma once
// Reading the whole rest of a stream into one string, as the binding reads a document.

#include <istream>

#include "PlainTextFileParser/detail/SecretMemory.h"

namespace plain_text_detail {

/// Everything the stream's buffer delivers from its position to the end of its sequence, read
/// in large blocks into one string, with no formatting or whitespace skipping. The text may hold
/// passwords: each block it outgrows, and its last one, are wiped when given back. Throws
/// std::bad_alloc, and what the stream's buffer throws (input_too_long).
secret_string read_stream_text(std::istream& is);

}  // namespace plain_text_detail
