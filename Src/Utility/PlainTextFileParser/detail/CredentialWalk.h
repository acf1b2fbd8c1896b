#pragma once
// The walk behind PlainTextParser::parse, with an optional observer that is told every step.
//
// PlainTextParser::parse runs it without an observer. Tools that explain a credential file run
// the very same walk with one, so what they report is what the parser did, from one reading of
// the file. Internal: nothing here is exported from the shared library.

#include <sys/stat.h>

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include <boost/json/value.hpp>
#include <boost/system/error_code.hpp>

#include <Corvex/CorvexResult.h>

#include "PlainTextFileParser/RegularFile.h"
#include "PlainTextFileParser/detail/CredentialText.h"
#include "PlainTextFileParser/detail/RecordMembers.h"

namespace plain_text_detail {

using output_map = std::map<std::string, std::string>;

/// The entry of the document that asked for an output key: element `index` of the list
/// `member`, or one of the two passwords (index 0).
struct entry_source {
    member_id member;
    std::size_t index;
};

/// Told each step of a walk, in the order the steps happen. Every function does nothing unless
/// overridden. The walk passes views and references that live only during the call.
class walk_observer {
public:
    virtual ~walk_observer() = default;

    /// The path was refused; the walk ends with RESULT_FILE_NOT_EXIST.
    virtual void file_refused(const RegularFile& /*file*/) {}
    /// The file is open; `status` is what fstat() said of it.
    virtual void file_opened(const struct stat& /*status*/) {}

    /// The text is not a credential document: `error` is the JSON parser's, found at byte
    /// `offset` of `text`. The record stays empty.
    virtual void document_failed(std::string_view /*text*/,
                                 const boost::system::error_code& /*error*/,
                                 std::size_t /*offset*/) {}
    /// The text parsed into `document`; its members are bound next.
    virtual void document_parsed(std::string_view /*text*/,
                                 const boost::json::value& /*document*/) {}
    /// A member bound `items` items: credentials, list entries, or 1 for a password that is
    /// set (0 when it is empty).
    virtual void member_bound(member_id /*member*/, std::size_t /*items*/) {}
    /// A member bound nothing. `found` is the value at its pointer, or null when the document
    /// has none; `failure` is json_get's failure text.
    virtual void member_failed(member_id /*member*/, const boost::json::value* /*found*/,
                               const std::string& /*failure*/) {}
    /// The record is bound; the walk over it starts.
    virtual void record_bound(const plain_text_info& /*record*/) {}

    /// A list entry names an alias that has no credential; it is skipped.
    virtual void alias_unknown(entry_source /*source*/, std::string_view /*alias*/) {}
    /// spread_scope_ip refused a target's host scope; the entry is skipped (and logged).
    virtual void scope_rejected(entry_source /*source*/, std::string_view /*scope*/) {}
    /// spread_scope_ip expanded a target's host scope into `addresses` addresses.
    virtual void scope_expanded(entry_source /*source*/, std::size_t /*addresses*/) {}
    /// The walk added `entry` to the output map.
    virtual void key_added(entry_source /*source*/, output_map::const_iterator /*entry*/) {}
    /// The walk asked for a key that `held` already holds: its value stays, and `dropped` is
    /// the value the walk would have stored.
    virtual void key_present(entry_source /*source*/, output_map::const_iterator /*held*/,
                             std::string_view /*dropped*/) {}
};

/// What PlainTextParser::parse does, told step by step to `observer` when it is not null.
/// With a null observer this is parse itself. Throws what parse throws; an observer may throw
/// too, and that leaves the walk.
CorvexResult parse_credential_file(const std::string& path, output_map& out,
                                   walk_observer* observer);

}  // namespace plain_text_detail
