#pragma once
// Why a credential file hands out fewer keys than its author expected.

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace credcheck {

/// How one of the document's six members bound.
struct key_binding {
    std::string key;
    /// Items bound: credentials, list entries, or 1 for a non-empty password. Unset on failure.
    std::optional<std::size_t> bound;
    /// The binding's failure text, without its trailing newline, when it bound nothing.
    std::optional<std::string> failure;
};

/// A list entry whose alias has no credential; the parser skips such entries silently.
struct unknown_alias {
    /// "target_systems", "kms_credentials" or "bmc_credentials".
    std::string list;
    /// The entry as the document gives it.
    std::string entry;
    /// The alias that the parser looks up for it.
    std::string alias;
};

/// Where and why the document failed to parse.
struct parse_failure {
    std::string message;
    /// 1-based line of the byte where parsing stopped.
    std::size_t line;
    /// 1-based column, in bytes, of that byte.
    std::size_t column;
};

struct diagnostics {
    /// Why the file could not be read at all; unset when it was read.
    std::optional<std::string> file_error;
    /// One per document member, in binding order; empty when the file could not be read.
    std::vector<key_binding> keys;
    std::vector<unknown_alias> unknown_aliases;
    std::optional<parse_failure> parse_error;
    /// A warning when group or others may read or write the file.
    std::optional<std::string> permissions;
};

/// Reads the credential file at `path` again and explains how its members bound.
diagnostics diagnose(const std::string& path);

/// The warning for a credential file of mode `mode`, or nothing when only its owner has access.
std::optional<std::string> permission_warning(const std::string& path, mode_t mode);

/// Where `text` fails to parse under the parse options of the credential binding, or nothing
/// when it parses.
std::optional<parse_failure> locate_parse_error(const std::string& text);

}  // namespace credcheck
