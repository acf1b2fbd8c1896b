#include "walk/FileWalk.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <unordered_map>
#include <utility>

#include <boost/json/error.hpp>

#include <PlainTextFileParser/detail/InputFile.h>
#include <PlainTextFileParser/detail/SecretMemory.h>

namespace credcheck {

namespace {

namespace detail = plain_text_detail;

// Installs a sink for its lifetime and puts the previous one back afterwards.
class scoped_sink {
public:
    explicit scoped_sink(Kelvor::LogSink sink) : previous_(Kelvor::Log::SetSink(std::move(sink))) {}
    scoped_sink(const scoped_sink&) = delete;
    scoped_sink& operator=(const scoped_sink&) = delete;
    ~scoped_sink() { Kelvor::Log::SetSink(std::move(previous_)); }

private:
    Kelvor::LogSink previous_;
};

std::string file_type_name(mode_t mode) {
    switch (mode & S_IFMT) {
        case S_IFDIR:
            return "a directory";
        case S_IFIFO:
            return "a FIFO";
        case S_IFSOCK:
            return "a socket";
        case S_IFCHR:
            return "a character device";
        case S_IFBLK:
            return "a block device";
        default:
            return "not a regular file";
    }
}

std::string refusal_reason(const detail::InputFile& file) {
    switch (file.failure()) {
        case detail::open_failure::system_error:
            return std::strerror(file.error());
        case detail::open_failure::unsupported:
            return "not a regular file: it is " + file_type_name(file.status().st_mode);
        case detail::open_failure::replaced:
            return "the file was replaced while it was being opened";
        case detail::open_failure::none:
            break;
    }
    return "cannot be opened";
}

const char* kind_name(const boost::json::value& value) {
    switch (value.kind()) {
        case boost::json::kind::null:
            return "null";
        case boost::json::kind::bool_:
            return "a boolean";
        case boost::json::kind::int64:
        case boost::json::kind::uint64:
        case boost::json::kind::double_:
            return "a number";
        case boost::json::kind::string:
            return "a string";
        case boost::json::kind::array:
            return "an array";
        case boost::json::kind::object:
            return "an object";
    }
    return "a value";
}

// "<where> is <kind>, expected <wanted>".
report_text wrong_kind(report_text where, const boost::json::value& value, const char* wanted) {
    where << " is " << kind_name(value) << ", expected " << wanted;
    return where;
}

// Why `found`, the value of a member that bound nothing, is not what the member needs.
report_text member_problem(member_id member, const boost::json::value& found) {
    const std::string& pointer = detail::member_pointer(member);
    switch (detail::facts_of(member).kind) {
        case detail::member_kind::password:
            return wrong_kind(report_text(pointer), found, "a string");
        case detail::member_kind::credentials:
            if (const boost::json::object* object = found.if_object()) {
                for (const auto& credential : *object) {
                    if (!credential.value().is_string()) {
                        std::string alias(credential.key());
                        std::string escaped;
                        json_pointer_append(escaped, alias);
                        report_text where(pointer);
                        where << file_text{escaped};
                        return wrong_kind(where, credential.value(), "a string")
                               << " (every credential is ignored)";
                    }
                }
            }
            return wrong_kind(report_text(pointer), found,
                              "an object whose every member is a string");
        case detail::member_kind::list:
            if (const boost::json::array* list = found.if_array()) {
                for (std::size_t i = 0; i < list->size(); ++i) {
                    if (!(*list)[i].is_string()) {
                        return wrong_kind(report_text(pointer + "/" + std::to_string(i)),
                                          (*list)[i], "a string")
                               << " (the whole list is ignored)";
                    }
                }
            }
            return wrong_kind(report_text(pointer), found, "an array of strings");
    }
    return report_text(pointer + " could not be bound");
}

// Where the text stopped parsing, in plain words.
std::string parse_problem(std::string_view text, const boost::system::error_code& error,
                          std::size_t offset) {
    namespace json = boost::json;
    if (text.empty()) {
        return "the file is empty";
    }
    if (offset == 0 && text.substr(0, 3) == "\xef\xbb\xbf") {
        return "the file starts with a byte-order mark, which a credential file may not have";
    }
    if (error == json::error::incomplete) {
        return "the document ends before it is complete";
    }
    if (error == json::error::extra_data) {
        return "there is more text after the end of the document";
    }
    if (error == json::error::too_deep) {
        return "the document is nested more than " +
               std::to_string(::credential_parse_options().max_depth) + " levels deep";
    }
    if (offset < text.size() && static_cast<unsigned char>(text[offset]) >= 0x80) {
        return "syntax error (the text is not valid UTF-8 here)";
    }
    return error.message();
}

document_problem locate(std::string_view text, const boost::system::error_code& error,
                        std::size_t offset) {
    const std::string_view before = text.substr(0, offset);
    const std::size_t line_start = before.rfind('\n');
    const std::string_view line =
        line_start == std::string_view::npos ? before : before.substr(line_start + 1);
    const auto characters =
        static_cast<std::size_t>(std::count_if(line.begin(), line.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
        }));
    return document_problem{
        parse_problem(text, error, offset),
        {static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1,
         characters + 1}};
}

// What the walk said of the keys it asked for twice, while it walks.
struct shadow_state {
    std::size_t dropped = 0;
    std::size_t different = 0;
    std::vector<entry_source> first_dropped;
};

// Keeps what the walk tells it in a file_walk.
class recorder final : public detail::walk_observer {
public:
    explicit recorder(file_walk& walk) : walk_(walk) {}

    void file_refused(const detail::InputFile& file) override {
        walk_.refusal = file_refusal{refusal_reason(file)};
    }
    void file_opened(const struct stat& status) override {
        walk_.file = file_facts{status.st_mode & 07777, status.st_uid,
                                static_cast<std::size_t>(std::max<off_t>(status.st_size, 0)),
                                !S_ISREG(status.st_mode)};
    }
    void document_failed(std::string_view text, const boost::system::error_code& error,
                         std::size_t offset) override {
        walk_.document_error = locate(text, error, offset);
        // What stands before the error may hold passwords the report must not show.
        walk_.index = index_document(text);
    }
    void document_parsed(std::string_view text, const boost::json::value& document) override {
        walk_.document_kind = kind_name(document);
        walk_.document_is_object = document.is_object();
        walk_.index = index_document(text);
    }
    void member_bound(member_id member, std::size_t items) override {
        outcome(member) = {member_outcome::state::bound, items, {}};
    }
    void member_failed(member_id member, const boost::json::value* found,
                       const std::exception& failure) override {
        // The binding makes an empty field of a member it ran out of memory on; a report that
        // went on from there would say the file hands out less than it does.
        if (detail::is_out_of_memory(failure)) {
            throw std::bad_alloc();
        }
        if (found == nullptr) {
            outcome(member) = {member_outcome::state::absent, 0, {}};
        } else {
            outcome(member) = {member_outcome::state::unusable, 0, member_problem(member, *found)};
        }
    }
    void record_bound(const plain_text_info& record) override {
        walk_.expanded.assign(record.target_systems.size(), 0);
    }
    void alias_unknown(entry_source source, std::string_view) override {
        walk_.unknown_aliases.push_back(source);
    }
    void scope_rejected(entry_source source, std::string_view) override {
        walk_.rejected_scopes.push_back(source);
    }
    void scope_expanded(entry_source source, std::size_t addresses) override {
        walk_.expanded.at(source.index) = addresses;
    }
    void key_added(entry_source source, output_map::const_iterator entry) override {
        walk_.entries.push_back({&entry->first, &entry->second, source});
        std::vector<bool>& added = added_[static_cast<std::size_t>(source.member)];
        if (added.size() <= source.index) {
            added.resize(source.index + 1);
        }
        added[source.index] = true;
    }
    void key_present(entry_source source, output_map::const_iterator held,
                     std::string_view dropped) override {
        const bool different = dropped != held->second;
        shadow_state& shadow = shadows_[&held->first];
        ++shadow.dropped;
        shadow.different += different ? 1 : 0;
        if (shadow.first_dropped.size() < DROPPED_SOURCES_KEPT) {
            shadow.first_dropped.push_back(source);
        }
        const auto [drop, first] = drop_of_.try_emplace(
            static_cast<std::size_t>(source.member) << 56 | source.index, walk_.drops.size());
        if (first) {
            walk_.drops.push_back({source, 0, 0, false, 0});
            first_held_.push_back(&held->first);
        }
        entry_drops& drops = walk_.drops[drop->second];
        ++drops.dropped;
        drops.different += different ? 1 : 0;
    }
    void walk_done(plain_text_info& record) override { walk_.record = std::move(record); }

    // Takes the filled map over, puts the entries in key order and lists the keys asked for
    // more than once. The map's nodes stay where they are, and so do the entries' keys.
    void finish(output_map& out) {
        walk_.map = std::move(out);
        // The entries came in the order the walk added them; the map has them in key order.
        // Sorted by the address of their key, each is found again from the map's node without
        // comparing a single string; the sources are taken in key order, then written back.
        std::vector<handed_entry>& entries = walk_.entries;
        const auto by_node = [](const handed_entry& a, const handed_entry& b) {
            return std::less<const std::string*>()(a.key, b.key);
        };
        std::sort(entries.begin(), entries.end(), by_node);
        std::vector<handed_entry> ordered;
        ordered.reserve(entries.size());
        for (const auto& [key, value] : walk_.map) {
            const handed_entry wanted{&key, nullptr, {}};
            ordered.push_back(
                {&key, &value,
                 std::lower_bound(entries.begin(), entries.end(), wanted, by_node)->source});
        }
        entries.swap(ordered);
        walk_.shadowed.reserve(shadows_.size());
        for (auto& [key, shadow] : shadows_) {
            const handed_entry* entry = find_entry(walk_, *key);
            walk_.shadowed.push_back({static_cast<std::size_t>(entry - walk_.entries.data()),
                                      shadow.dropped, shadow.different,
                                      std::move(shadow.first_dropped)});
        }
        shadows_.clear();
        std::sort(walk_.shadowed.begin(), walk_.shadowed.end(),
                  [](const shadowed_key& a, const shadowed_key& b) { return a.entry < b.entry; });
        for (std::size_t i = 0; i < walk_.drops.size(); ++i) {
            entry_drops& drops = walk_.drops[i];
            const std::vector<bool>& added = added_[static_cast<std::size_t>(drops.source.member)];
            drops.added_any = drops.source.index < added.size() && added[drops.source.index];
            drops.first_held =
                static_cast<std::size_t>(find_entry(walk_, *first_held_[i]) - walk_.entries.data());
        }
    }

private:
    member_outcome& outcome(member_id member) {
        return walk_.members[static_cast<std::size_t>(member)];
    }

    file_walk& walk_;
    std::unordered_map<const std::string*, shadow_state> shadows_;
    // Which entries of each member added a key, by index.
    std::array<std::vector<bool>, MEMBER_COUNT> added_;
    // Where each entry that found a key held stands in walk_.drops, by member and index.
    std::unordered_map<std::size_t, std::size_t> drop_of_;
    // The first key each of walk_.drops found held.
    std::vector<const std::string*> first_held_;
};

const std::vector<std::string>* list_of(const file_walk& walk, entry_source source) {
    return detail::member_list(walk.record, source.member);
}

}  // namespace

file_walk::~file_walk() {
    detail::wipe_record(record);
    detail::wipe_map(map);
    for (std::string& secret : index.secrets) {
        detail::wipe_string(secret);
    }
}

file_walk walk_file(const std::string& path) {
    // The walk and the indexing pass beneath it leave passwords on the stack they used (the
    // JSON parsers' buffers, short strings): burnt once they are done.
    const detail::stack_burn burn;
    file_walk walk;
    walk.path = path;
    recorder observer(walk);
    output_map out;
    const detail::scoped_wipe<output_map, detail::wipe_map> wipe(
        out);  // when the walk is left half-way; finish() takes it over
    {
        const scoped_sink capture(
            [&walk](const Kelvor::LogRecord& record) { walk.records.push_back(record); });
        walk.result = detail::parse_credential_file(path, out, &observer);
    }
    observer.finish(out);
    return walk;
}

bool read_secrets(const std::string& path, const std::function<void(std::string_view)>& add) {
    const detail::stack_burn burn;
    detail::InputFile file(path);
    if (!file.is_open()) {
        return true;
    }
    if (file.is_stream()) {
        return false;
    }
    std::string text = file.read_all();
    const detail::scoped_wipe<std::string, detail::wipe_string> wipe_text(text);
    document_index index = index_document(text);
    for (std::string& secret : index.secrets) {
        add(secret);
        detail::wipe_string(secret);
    }
    return true;
}

std::string_view source_entry(const file_walk& walk, entry_source source) {
    const std::vector<std::string>* list = list_of(walk, source);
    return list != nullptr && source.index < list->size() ? std::string_view((*list)[source.index])
                                                          : std::string_view();
}

std::string_view source_alias(const file_walk& walk, entry_source source) {
    const std::string_view entry = source_entry(walk, source);
    return source.member == member_id::target_systems ? detail::split_target_entry(entry).alias
                                                      : entry;
}

std::string_view source_password(const file_walk& walk, entry_source source) {
    if (source.member == member_id::privpassword) {
        return walk.record.privpassword;
    }
    if (source.member == member_id::newpassword) {
        return walk.record.newpassword;
    }
    const auto& credentials = walk.record.connection_credentials;
    const auto credential = credentials.find(std::string(source_alias(walk, source)));
    return credential == credentials.end() ? std::string_view()
                                           : detail::split_credential(credential->second).password;
}

std::string source_name(entry_source source) {
    const char* member = detail::member_key(source.member);
    if (detail::is_password_member(source.member)) {
        return member;
    }
    return std::string(member) + "[" + std::to_string(source.index) + "]";
}

report_text described_source(const file_walk& walk, entry_source source) {
    report_text text(source_name(source));
    if (!detail::is_password_member(source.member)) {
        text << " " << quoted(source_entry(walk, source));
    }
    return text;
}

text_position source_position(const file_walk& walk, entry_source source) {
    if (detail::is_password_member(source.member)) {
        const member_occurrence* member = walk.index.bound_member(source.member);
        return member != nullptr ? member->value_at : text_position{};
    }
    return walk.index.element_at(source.member, source.index);
}

const handed_entry* find_entry(const file_walk& walk, std::string_view key) {
    const auto found = std::lower_bound(
        walk.entries.begin(), walk.entries.end(), key,
        [](const handed_entry& entry, std::string_view wanted) { return *entry.key < wanted; });
    return found != walk.entries.end() && *found->key == key ? &*found : nullptr;
}

}  // namespace credcheck
