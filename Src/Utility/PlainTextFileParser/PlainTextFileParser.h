#pragma once
// PlainTextParser::parse: reads a plain-text JSON credential file and adds the credentials it
// hands out to the caller's map.

#include <map>
#include <string>

#include <Corvex/CorvexResult.h>
#include <PlainTextFileParser/Export.h>

/// Reads plain-text (unencrypted) credential files. Has no state; `parse` is all it does.
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
    /// Returns RESULT_FILE_NOT_EXIST ("The plain text file not exists") when `path` does not name
    /// a regular file that can be opened, leaving `out` untouched; RESULT_INVALID_FILE ("No
    /// credential found in plain text file") when `out` is empty at the end; else RESULT_SUCCEED.
    ///
    /// Catches nothing: std::bad_alloc and std::length_error when memory runs out (while reading,
    /// binding, expanding a scope or adding an entry) leave the call, and entries added before
    /// that stay in `out`. A malformed document is no exception: it yields no entries. A log sink
    /// that throws does not reach here; Kelvor::Log contains it.
    static CorvexResult parse(const std::string& path, std::map<std::string, std::string>& out);
};
