#pragma once
// PlainTextParser::parse and parse_text: read a plain-text JSON credential document and add the
// credentials it hands out to the caller's map.

#include <map>
#include <string>
#include <string_view>

#include <Corvex/CorvexResult.h>
#include <PlainTextFileParser/Export.h>

/// Reads plain-text (unencrypted) credential files, from a path or from memory. Has no state.
class PLAINTEXTFILEPARSER_EXPORT PlainTextParser {
public:
    PlainTextParser() = default;
    PlainTextParser(const PlainTextParser&) = default;
    PlainTextParser(PlainTextParser&&) = default;
    /// Changes nothing and returns `*this`. Never throws.
    PlainTextParser& operator=(const PlainTextParser&);
    /// Changes nothing and returns `*this`. Never throws.
    PlainTextParser& operator=(PlainTextParser&&);

    /// Reads the credential file at `path` and adds one entry per credential it hands out to
    /// `out`:
    ///
    /// | key                         | value                               |
    /// |-----------------------------|-------------------------------------|
    /// | user + "@" + address        | password, per address of a target   |
    /// | user + "@kmsid"             | password, per `kms_credentials` alias |
    /// | user + "@bmc-password"      | password, per `bmc_credentials` alias |
    /// | "privpassword", "newpassword" | the password itself, when not empty |
    ///
    /// A key already in `out` keeps its value: the caller's entries and the first value stored
    /// by this call win. Targets, aliases and scopes that lead nowhere are skipped; a host scope
    /// that cannot be expanded is logged at level 1.
    ///
    /// What it reads: a regular file (symbolic links to one are followed) up to the size it has
    /// when opened; a pipe, a FIFO, /dev/stdin, /dev/fd/N or a character device to its end, up to
    /// 256 MiB. A longer stream is not parsed at all: it counts as a document that cannot be
    /// parsed. A FIFO that nobody has opened for writing reads as empty at once; the call never
    /// waits for a writer to appear.
    ///
    /// Returns RESULT_FILE_NOT_EXIST ("The plain text file not exists") when `path` cannot be
    /// opened (missing, no permission) or names a directory or a socket, leaving `out` untouched;
    /// RESULT_INVALID_FILE ("No credential found in plain text file") when `out` is empty at the
    /// end; else RESULT_SUCCEED.
    ///
    /// Leaves no copy of a password behind: the text read, the parsed document, the bound record
    /// and the stack the call used are overwritten before the call returns, so `out` then holds
    /// the only copies. Hand `out` to wipe_credentials when done with it.
    ///
    /// Catches nothing: std::bad_alloc and std::length_error when memory runs out (while reading,
    /// binding, expanding a scope or adding an entry) leave the call, and entries added before
    /// that stay in `out`. A malformed document is no exception: it yields no entries. A log sink
    /// that throws does not reach here; Kelvor::Log contains it.
    static CorvexResult parse(const std::string& path, std::map<std::string, std::string>& out);

    /// Does what `parse` does on a file holding `text`, for callers that hold the document in
    /// memory (decrypted, say) and should not write it to disk: the same result, the same
    /// entries and the same host-scope records. Its entry record reads "Enter
    /// PlainTextParser::parse_text". `text` is only read, never copied beyond what `parse` copies
    /// of a file, and not wiped: it is the caller's. Catches nothing, as `parse`.
    static CorvexResult parse_text(std::string_view text, std::map<std::string, std::string>& out);

    /// Overwrites every password (value) of `credentials` and leaves it empty: what a
    /// caller that wants no trace of its passwords calls once it is done with the map `parse` or
    /// `parse_text` filled. The wipe is one the optimiser cannot drop. Never throws.
    static void wipe_credentials(std::map<std::string, std::string>& credentials) noexcept;
};
