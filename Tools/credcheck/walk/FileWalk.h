#pragma once
// One run of the parser's walk over a credential file, with everything it did and why.
//
// credcheck does not work out by itself what PlainTextParser::parse would make of a file: it runs
// the parser's own walk with an observer, on one reading of the file, and keeps what the walk
// told it. Everything credcheck reports comes from here.
//
// What it keeps is in proportion to what parse itself holds: the map the walk filled, the record
// it went over, and per key the entry that asked for it first. Of the entries that asked for a
// key already held it keeps a count and the first few, however many there are; an entry's text,
// user name or password is never copied, since the record and the map hold them.

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <Corvex/CorvexResult.h>
#include <Kelvor/Log.h>
#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/detail/CredentialWalk.h>

#include "text/ReportText.h"
#include "walk/DocumentIndex.h"

namespace credcheck {

using plain_text_detail::entry_source;
using plain_text_detail::MEMBER_COUNT;
using plain_text_detail::member_id;
using plain_text_detail::output_map;

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
    /// Read as a stream (a pipe, a FIFO, a character device, standard input from one) rather
    /// than a regular file: its mode and owner are not a credential file's.
    bool stream = false;
};

/// Where the document stopped parsing.
struct document_problem {
    /// In plain words, e.g. "syntax error", "the file is empty".
    std::string message;
    text_position at;
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
    /// array of strings". It may quote member names of the file.
    report_text problem;
};

/// An entry of the map the walk filled, and the entry of the document that asked for it first.
/// `key` and `value` point into file_walk::map.
struct handed_entry {
    const std::string* key;
    const std::string* value;
    entry_source source;
};

/// How many first sources of the entries that asked for a key already held are kept.
inline constexpr std::size_t DROPPED_SOURCES_KEPT = 3;

/// A key that more than one entry asked for: the first kept its value, the others' were dropped.
struct shadowed_key {
    /// Index into file_walk::entries of the key and the source whose value the map kept.
    std::size_t entry = 0;
    /// Entries that asked for the key after it was held.
    std::size_t dropped = 0;
    /// How many of them would have stored another password.
    std::size_t different = 0;
    /// The first of them, at most DROPPED_SOURCES_KEPT.
    std::vector<entry_source> first_dropped;
};

/// An entry that asked for keys already held, and what became of them.
struct entry_drops {
    entry_source source;
    /// Keys it asked for that were held already: their values were dropped.
    std::size_t dropped = 0;
    /// How many of them would have stored another password.
    std::size_t different = 0;
    /// Whether it added a key of its own too; when not, it had no effect.
    bool added_any = false;
    /// Index into file_walk::entries of the first key it found held.
    std::size_t first_held = 0;
};

/// Everything one walk over a credential file did. Its entries point into its own map, so it is
/// moved, never copied; and never assigned to, since what it held would go unwiped.
///
/// The passwords it holds (the record's, the map's values, the index's) are wiped when it ends;
/// so are the bytes that moving them leaves behind in a walk moved from.
struct file_walk {
    file_walk() = default;
    file_walk(file_walk&&) = default;
    file_walk& operator=(file_walk&&) = delete;
    file_walk(const file_walk&) = delete;
    file_walk& operator=(const file_walk&) = delete;
    ~file_walk();

    /// The file as the report names it: the path given, or the name of standard input.
    std::string path;
    CorvexResult result{0};

    std::optional<file_refusal> refusal;  // set when the file could not be opened
    std::optional<file_facts> file;       // set when it was
    std::optional<document_problem> document_error;
    /// When the document parsed: the kind of its top-level value ("an object", "an array", ...),
    /// and whether it is an object, the only kind whose members bind.
    std::string document_kind;
    bool document_is_object = false;
    std::array<member_outcome, MEMBER_COUNT> members{};
    /// Where everything of the document stands, what it gives twice, and all its passwords.
    document_index index;

    /// The record the walk went over: the lists give each source its entry text, the
    /// credentials each alias its user and password.
    plain_text_info record;
    /// The map the walk filled, and each of its entries with its source, in key order.
    output_map map;
    std::vector<handed_entry> entries;
    /// Keys asked for more than once, in key order.
    std::vector<shadowed_key> shadowed;
    /// Entries that asked for keys already held, in the order of the walk.
    std::vector<entry_drops> drops;
    /// Entries skipped because their alias has no credential, in walk order.
    std::vector<entry_source> unknown_aliases;
    /// Targets skipped because spread_scope_ip refused their host scope, in walk order.
    std::vector<entry_source> rejected_scopes;
    /// Addresses each target entry expanded to, by index; 0 for skipped ones.
    std::vector<std::size_t> expanded;
    /// Every log record the walk wrote, of every level, in order.
    std::vector<Kelvor::LogRecord> records;
};

/// Runs the parser's walk over the file at `path` into an empty map, capturing its log records
/// through the process-wide log sink (the previous sink is back in place when this returns).
/// Throws std::bad_alloc, also when memory runs out while a member binds (where parse itself
/// would go on with an empty member), and plain_text_detail::input_too_long for a stream longer
/// than the walk reads.
file_walk walk_file(const std::string& path);

/// Hands each password the file at `path` holds, kept or not, to `add`, found in its text alone:
/// what masking every file of a run needs before the first report, at the cost of one JSON
/// pass rather than a walk. A file that cannot be read holds none. Returns false, handing
/// nothing, for a stream, whose text cannot be read a second time for its report: walk it
/// instead. Throws std::bad_alloc.
bool read_secrets(const std::string& path, const std::function<void(std::string_view)>& add);

/// The text of the document entry that `source` names: the list element. Empty for the two
/// passwords, and when the index is out of range.
std::string_view source_entry(const file_walk& walk, entry_source source);

/// The alias that `source` names: the alias part of a target entry, or a KMS or BMC entry
/// whole. Empty for the two passwords.
std::string_view source_alias(const file_walk& walk, entry_source source);

/// The password that `source` would store: its credential's, or a password member's value.
std::string_view source_password(const file_walk& walk, entry_source source);

/// `source` as "target_systems[3]", or "privpassword" for the two passwords.
std::string source_name(entry_source source);

/// `source` with its entry: "target_systems[3] 'ops@10.0.0.0/30'", or "privpassword".
report_text described_source(const file_walk& walk, entry_source source);

/// Where the document gives `source`: the list element, or the password member's value.
text_position source_position(const file_walk& walk, entry_source source);

/// The entry of `walk.entries` whose key is `key`, or null.
const handed_entry* find_entry(const file_walk& walk, std::string_view key);

}  // namespace credcheck
