#pragma once
// The Corvex tool family's result value, its composed result codes and the registry that keeps
// the message of every code.
//
// A composed result code packs a category (the functional area) and a code within it into one
// signed 32-bit integer: (category << 16) | code. Category 0 holds the general outcomes, so there
// the composed value equals the code. Every outcome of the family is a named `int` constant
// (RESULT_SUCCEED, RESULT_FILE_NOT_EXIST, ...) that is registered with its message while the
// library loads and holds its composed value from then on. Code names outcomes through these
// constants, never through literal numbers.

#include <optional>
#include <string>
#include <utility>

#include <PlainTextFileParser/Export.h>

/// The outcome of an operation: a composed result code and a detail message.
///
/// `message` is the producer's own detail text, empty unless the producer gives one. It is not
/// the catalogue message registered for `code`; look that one up with `lookup_result_message`.
/// A plain value: copy it, return it, keep it.
struct CorvexResult {
    /// The composed result code, one of the RESULT_* constants.
    int code;
    /// Detail text of whoever produced the result; may be empty.
    std::string message;

    /// A result with an empty message. Implicit, so that a RESULT_* constant can stand where a
    /// result is expected.
    CorvexResult(int code) : code(code) {}  // NOLINT(google-explicit-constructor)
    /// A result with a copy of `message`. Throws std::bad_alloc when memory runs out.
    CorvexResult(int code, const std::string& message) : code(code), message(message) {}
};

namespace corvex::detail {

/// (category << 16) | code in 32-bit arithmetic; a negative category keeps its sign bits and the
/// code is not masked.
constexpr int compose_result_code(int category, int code) {
    return static_cast<int>(static_cast<unsigned>(category) << 16 | static_cast<unsigned>(code));
}

}  // namespace corvex::detail

/// Registers `message` for the code `code` of `category` and returns the composed code.
///
/// Categories 0 and below go to the general table, all others to the inner table of their
/// category; both are keyed by the full composed value. Registering a composed code again keeps
/// one entry holding the last message. The code is not masked: keep it within 0 to 65535.
/// The message is copied. Called by the initialisers of the RESULT_* constants while the library
/// loads. Throws std::bad_alloc when memory runs out.
PLAINTEXTFILEPARSER_EXPORT int register_result_code(int category, int code, const char* message);

/// The message registered for `composed_code`, or std::nullopt when none was.
///
/// The category is `composed_code >> 16` (arithmetic shift); a category of 0 or below is looked
/// up in the general table, any other in that category's table, always under the full composed
/// value. Throws std::bad_alloc when memory runs out while copying the message.
PLAINTEXTFILEPARSER_EXPORT std::optional<std::string> lookup_result_message(int composed_code);

// One constant per result code of the family, each holding its composed value once the library
// is loaded. The list, in registration order, is in CorvexResultCatalogue.inc.
#define CORVEX_RESULT(name, category, code, message) \
    extern PLAINTEXTFILEPARSER_EXPORT const int name;
#include <Corvex/CorvexResultCatalogue.inc>
#undef CORVEX_RESULT
