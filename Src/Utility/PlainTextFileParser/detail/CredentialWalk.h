#pragma once
// The walk behind PlainTextParser::parse, with an optional observer that is told every step.
//
// PlainTextParser::parse runs it without an observer. Tools that explain a credential file run
// the very same walk with one, so what they report is what the parser did, from one reading of
// the file. Exported from the shared library for the project's own tools, which link it, but not
// installed: it is no interface of the library's, and it changes as the tools do.

#include <sys/stat.h>

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include <Corvex/CorvexResult.h>
#include <PlainTextFileParser/Export.h>

#include "PlainTextFileParser/detail/CredentialText.h"
#include "PlainTextFileParser/detail/DocumentBinding.h"
#include "PlainTextFileParser/detail/InputFile.h"
#include "PlainTextFileParser/detail/RecordMembers.h"

namespace plain_text_detail {

using output_map = std::map<std::string, std::string>;

/// The entry of the document that asked for an output key: element `index` of the list
/// `member`, or one of the two passwords (index 0).
struct entry_source {
    member_id member;
    std::size_t index;
};

/// Told each step of a walk, in the order the steps happen: how the file opened, how its
/// document bound (binding_observer), then every key the walk asked for. Every function does
/// nothing unless overridden. The walk passes views and references that live only during the
/// call.
class PLAINTEXTFILEPARSER_EXPORT walk_observer : public binding_observer {
public:
    ~walk_observer() override;

    /// The path was refused; the walk ends with RESULT_FILE_NOT_EXIST.
    virtual void file_refused(const InputFile& file);
    /// The file is open; `status` is what fstat() said of it.
    virtual void file_opened(const struct stat& status);
    /// The record is bound; the walk over it starts.
    virtual void record_bound(const plain_text_info& record);

    /// A list entry names an alias that has no credential; it is skipped.
    virtual void alias_unknown(entry_source source, std::string_view alias);
    /// spread_scope_ip refused a target's host scope; the entry is skipped (and logged).
    virtual void scope_rejected(entry_source source, std::string_view scope);
    /// spread_scope_ip expanded a target's host scope into `addresses` addresses.
    virtual void scope_expanded(entry_source source, std::size_t addresses);
    /// The walk added `entry` to the output map.
    virtual void key_added(entry_source source, output_map::const_iterator entry);
    /// The walk asked for a key that `held` already holds: its value stays, and `dropped` is
    /// the value the walk would have stored.
    virtual void key_present(entry_source source, output_map::const_iterator held,
                             std::string_view dropped);
    /// The walk is over. The record it went over is the observer's now: it may move from it,
    /// and so keep the entries' texts without a copy.
    virtual void walk_done(plain_text_info& record);
};

/// What PlainTextParser::parse does, told step by step to `observer` when it is not null.
/// With a null observer this is parse itself. Throws what parse throws; an observer may throw
/// too, and that leaves the walk. With an observer, running out of memory while the file is read
/// or parsed leaves the walk too (json_assign would turn it into an empty record), and so does a
/// stream longer than STREAM_LIMIT (input_too_long, where parse sees a document that does not
/// parse); running out of memory while a member binds is told to member_failed.
PLAINTEXTFILEPARSER_EXPORT CorvexResult parse_credential_file(const std::string& path,
                                                              output_map& out,
                                                              walk_observer* observer);

/// What PlainTextParser::parse_text does, told to `observer` as parse_credential_file tells it,
/// file_refused and file_opened aside.
PLAINTEXTFILEPARSER_EXPORT CorvexResult parse_credential_text(std::string_view text,
                                                              output_map& out,
                                                              walk_observer* observer);

}  // namespace plain_text_detail
