#pragma once
// The steps of the binding behind json_assign, with an optional observer that is told each of
// them. json_assign runs them without an observer; the parser's observed walk runs the very same
// steps with one.

#include <cstddef>
#include <exception>
#include <string_view>

#include <boost/json/value.hpp>
#include <boost/system/error_code.hpp>

#include <PlainTextFileParser/Export.h>
#include <PlainTextFileParser/JsonBinding.h>

#include "PlainTextFileParser/detail/RecordMembers.h"

namespace plain_text_detail {

/// Told how a document binds. Every function does nothing unless overridden; the views and
/// references it is given live only during the call.
class PLAINTEXTFILEPARSER_EXPORT binding_observer {
public:
    virtual ~binding_observer();

    /// `text` is not a credential document: `error` is the JSON parser's, found at byte `offset`.
    /// The record stays empty.
    virtual void document_failed(std::string_view text, const boost::system::error_code& error,
                                 std::size_t offset);
    /// `text` parsed into `document`; its members are bound next.
    virtual void document_parsed(std::string_view text, const boost::json::value& document);
    /// A member bound `items` items: credentials, list entries, or 1 for a password that is set
    /// (0 when it is empty).
    virtual void member_bound(member_id member, std::size_t items);
    /// A member bound nothing. `found` is the value at its pointer, or null when the document
    /// has none; `failure` is what json_get threw (is_out_of_memory tells when memory ran out).
    virtual void member_failed(member_id member, const boost::json::value* found,
                               const std::exception& failure);
};

/// Parses `text` as a credential document, with credential_parse_options(), in one pass. On
/// failure returns null and sets `error`; `consumed` is the byte at which the parser stopped
/// (the whole text on success). Throws std::bad_alloc.
PLAINTEXTFILEPARSER_EXPORT boost::json::value parse_document(std::string_view text,
                                                             boost::system::error_code& error,
                                                             std::size_t& consumed);

/// Binds each member of `document` into its field of `record` on its own, through json_get at
/// the member's pointer, in binding order, telling `observer` (when not null) how each went. A
/// member that fails leaves its field as it was. Throws only what the observer throws.
PLAINTEXTFILEPARSER_EXPORT void bind_members(const boost::json::value& document,
                                             plain_text_info& record, binding_observer* observer);

/// True when `failure`, or the exception it replaced, is std::bad_alloc.
PLAINTEXTFILEPARSER_EXPORT bool is_out_of_memory(const std::exception& failure) noexcept;

}  // namespace plain_text_detail
