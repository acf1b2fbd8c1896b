#pragma once
// One run of the parser's walk over a credential file, with everything it did and why.
//
// credcheck does not work out by itself what PlainTextParser::parse would make of a file: it runs
// the parser's own walk with an observer, on one reading of the file, and keeps what the walk
// told it. Everything credcheck reports comes from here.

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <Corvex/CorvexResult.h>
#include <Kelvor/Log.h>
#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/detail/CredentialWalk.h>

namespace credcheck {

using plain_text_detail::entry_source;
using plain_text_detail::MEMBER_COUNT;
using plain_text_detail::member_id;

/// Why the file could not be opened: strerror's text, or what the path names instead of a
/// regular file ("a directory").
struct file_refusal {
    std::string reason;
};

/// What the file is, as fstat() saw it once it was open.
struct file_facts {
    mode_t mode = 0;  // permission bits (st_mode & 07777)
    uid_t owner = 0;
    std::size_t bytes = 0;
};

/// Where the document stopped parsing.
struct document_problem {
    /// In plain words, e.g. "syntax error", "the file is empty".
    std::string message;
    /// 1-based line and column (in characters) of the place.
    std::size_t line = 0;
    std::size_t column = 0;
};

/// How one member of the document bound.
struct member_outcome {
    enum class state {
        not_reached,  // the file was not read, or the document did not parse
        bound,
        absent,    // the document has no such member: optional, hands out nothing
        unusable,  // present with the wrong shape: ignored
    };
    state how = state::not_reached;
    /// Items bound: credentials, list entries, or 1 for a password that is set.
    std::size_t items = 0;
    /// For an unusable member, what is wrong, e.g. "/target_systems is a number, expected an
    /// array of strings". Built from the document; it may quote member names of the file.
    std::string problem;
};

/// An entry of the map the walk filled, and the entry of the document that asked for it first.
struct handed_entry {
    std::string key;
    std::string value;
    entry_source source;
};

/// A source that asked for a key already held: its value was dropped.
struct dropped_value {
    entry_source source;
    std::string value;
};

/// A key that more than one source asked for.
struct shadowed_key {
    std::string key;
    /// The source whose value the map kept, and its value.
    entry_source kept;
    std::string kept_value;
    std::vector<dropped_value> dropped;
};

/// A list entry skipped because its alias has no credential.
struct unknown_alias {
    entry_source source;
    std::string alias;
};

/// A target skipped because spread_scope_ip refused its host scope.
struct rejected_scope {
    entry_source source;
    std::string scope;
};

/// Everything one walk over a credential file did.
struct file_walk {
    std::string path;
    CorvexResult result{0};

    std::optional<file_refusal> refusal;  // set when the file could not be opened
    std::optional<file_facts> file;       // set when it was
    bool document_parsed = false;
    std::optional<document_problem> document_error;
    /// When the document parsed: the kind of its top-level value ("an object", "an array", ...).
    std::string document_kind;
    std::array<member_outcome, MEMBER_COUNT> members{};

    /// The record the walk went over: the three lists give each source its entry text.
    plain_text_info record;
    /// Every password the document holds, whether or not it was handed out.
    std::vector<std::string> secrets;

    /// The map the walk filled, in key order, each entry with its source.
    std::vector<handed_entry> entries;
    std::vector<shadowed_key> shadowed;
    std::vector<unknown_alias> unknown_aliases;
    std::vector<rejected_scope> rejected_scopes;
    /// Addresses each target entry expanded to, by index; 0 for skipped ones.
    std::vector<std::size_t> expanded;
    /// Every log record the walk wrote, of every level, in order.
    std::vector<Kelvor::LogRecord> records;
};

/// Runs the parser's walk over the file at `path` into an empty map, capturing its log records
/// through the process-wide log sink (the previous sink is back in place when this returns).
/// Throws std::bad_alloc.
file_walk walk_file(const std::string& path);

/// The text of the document entry that `source` names: the list element, or the password
/// member's name. Empty when the index is out of range.
std::string source_entry(const file_walk& walk, entry_source source);

/// `source` as "target_systems[3]", or "privpassword" for the two passwords.
std::string source_name(entry_source source);

/// `source` with its entry: "target_systems[3] 'ops@10.0.0.0/30'", or "privpassword".
std::string described_source(const file_walk& walk, entry_source source);

/// `text` in single quotes, as reports quote a name or an entry of the file.
std::string quoted(std::string_view text);

}  // namespace credcheck
