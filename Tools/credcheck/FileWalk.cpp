#include "FileWalk.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>

#include <boost/json/error.hpp>

namespace credcheck {

namespace {

using plain_text_detail::output_map;

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

std::string refusal_reason(const plain_text_detail::RegularFile& file) {
    switch (file.failure()) {
        case plain_text_detail::open_failure::system_error:
            return std::strerror(file.error());
        case plain_text_detail::open_failure::not_regular:
            return "not a regular file: it is " + file_type_name(file.status().st_mode);
        case plain_text_detail::open_failure::replaced:
            return "the file was replaced while it was being opened";
        case plain_text_detail::open_failure::none:
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

// Why `found`, the value of a member that bound nothing, is not what the member needs.
std::string member_problem(member_id member, const boost::json::value& found) {
    const std::string& pointer = plain_text_detail::member_pointer(member);
    const plain_text_detail::member_kind kind = plain_text_detail::facts_of(member).kind;
    const bool is_password = kind == plain_text_detail::member_kind::password;
    const bool is_map = kind == plain_text_detail::member_kind::credentials;
    const char* expected = is_password ? "a string"
                           : is_map    ? "an object whose every member is a string"
                                       : "an array of strings";
    const auto wrong = [&](const std::string& where, const boost::json::value& value,
                           const char* wanted) {
        return where + " is " + kind_name(value) + ", expected " + wanted;
    };
    if (const boost::json::array* list = found.if_array();
        list != nullptr && !is_password && !is_map) {
        for (std::size_t i = 0; i < list->size(); ++i) {
            if (!(*list)[i].is_string()) {
                return wrong(pointer + "/" + std::to_string(i), (*list)[i], "a string") +
                       " (the whole list is ignored)";
            }
        }
    } else if (const boost::json::object* object = found.if_object(); object != nullptr && is_map) {
        for (const auto& member_value : *object) {
            if (!member_value.value().is_string()) {
                std::string where = pointer;
                json_pointer_append(where, std::string(member_value.key()));
                return wrong(where, member_value.value(), "a string") +
                       " (every credential is ignored)";
            }
        }
    } else {
        return wrong(pointer, found, expected);
    }
    return pointer + " could not be bound";
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
        return "the document is nested more than 32 levels deep";
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
        static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1,
        characters + 1};
}

// Every password the document holds: the password part of each credential text, and the two
// passwords, whether or not their members bind.
std::vector<std::string> document_secrets(const boost::json::value& document) {
    std::vector<std::string> secrets;
    const boost::json::object* root = document.if_object();
    if (root == nullptr) {
        return secrets;
    }
    if (const boost::json::value* credentials = root->if_contains(KEY_CONNECTION_CREDENTIALS)) {
        if (const boost::json::object* object = credentials->if_object()) {
            for (const auto& member : *object) {
                if (const boost::json::string* text = member.value().if_string()) {
                    const auto parts = plain_text_detail::split_credential(*text);
                    if (!parts.password.empty()) {
                        secrets.emplace_back(parts.password);
                    }
                }
            }
        }
    }
    for (const plain_text_detail::member_facts& member : plain_text_detail::MEMBER_FACTS) {
        if (member.kind != plain_text_detail::member_kind::password) {
            continue;
        }
        if (const boost::json::value* value = root->if_contains(member.key)) {
            if (const boost::json::string* text = value->if_string(); text && !text->empty()) {
                secrets.emplace_back(*text);
            }
        }
    }
    return secrets;
}

// Keeps what the walk tells it in a file_walk.
class recorder final : public plain_text_detail::walk_observer {
public:
    explicit recorder(file_walk& walk) : walk_(walk) {}

    void file_refused(const plain_text_detail::RegularFile& file) override {
        walk_.refusal = file_refusal{refusal_reason(file)};
    }
    void file_opened(const struct stat& status) override {
        walk_.file = file_facts{status.st_mode & 07777, status.st_uid,
                                static_cast<std::size_t>(std::max<off_t>(status.st_size, 0))};
    }
    void document_failed(std::string_view text, const boost::system::error_code& error,
                         std::size_t offset) override {
        walk_.document_error = locate(text, error, offset);
    }
    void document_parsed(std::string_view, const boost::json::value& document) override {
        walk_.document_parsed = true;
        walk_.document_kind = kind_name(document);
        walk_.secrets = document_secrets(document);
    }
    void member_bound(member_id member, std::size_t items) override {
        outcome(member) = {member_outcome::state::bound, items, {}};
    }
    void member_failed(member_id member, const boost::json::value* found,
                       const std::exception& failure) override {
        // The binding makes an empty field of a member it ran out of memory on; a report that
        // went on from there would say the file hands out less than it does.
        if (plain_text_detail::is_out_of_memory(failure)) {
            throw std::bad_alloc();
        }
        if (found == nullptr) {
            outcome(member) = {member_outcome::state::absent, 0, {}};
        } else {
            outcome(member) = {member_outcome::state::unusable, 0, member_problem(member, *found)};
        }
    }
    void record_bound(const plain_text_info& record) override {
        walk_.record = record;
        walk_.expanded.assign(record.target_systems.size(), 0);
    }
    void alias_unknown(entry_source source, std::string_view alias) override {
        walk_.unknown_aliases.push_back({source, std::string(alias)});
    }
    void scope_rejected(entry_source source, std::string_view scope) override {
        walk_.rejected_scopes.push_back({source, std::string(scope)});
    }
    void scope_expanded(entry_source source, std::size_t addresses) override {
        walk_.expanded.at(source.index) = addresses;
    }
    void key_added(entry_source source, output_map::const_iterator entry) override {
        origins_.emplace(&entry->first, source);
    }
    void key_present(entry_source source, output_map::const_iterator held,
                     std::string_view dropped) override {
        dropped_[held->first].push_back({source, std::string(dropped)});
    }

    // Moves the filled map into the walk, each entry with its source, and lists the keys
    // asked for more than once.
    void finish(output_map& out) {
        for (auto& [key, dropped] : dropped_) {
            const auto held = out.find(key);
            walk_.shadowed.push_back(
                {key, origins_.at(&held->first), held->second, std::move(dropped)});
        }
        walk_.entries.reserve(out.size());
        while (!out.empty()) {
            auto node = out.extract(out.begin());
            const entry_source source = origins_.at(&node.key());
            walk_.entries.push_back({std::move(node.key()), std::move(node.mapped()), source});
        }
    }

private:
    member_outcome& outcome(member_id member) {
        return walk_.members[static_cast<std::size_t>(member)];
    }

    file_walk& walk_;
    // Where each key the walk added came from, by the address of the key in the map.
    std::unordered_map<const std::string*, entry_source> origins_;
    std::map<std::string, std::vector<dropped_value>> dropped_;
};

}  // namespace

file_walk walk_file(const std::string& path) {
    file_walk walk;
    walk.path = path;
    recorder observer(walk);
    output_map out;
    {
        const scoped_sink capture(
            [&walk](const Kelvor::LogRecord& record) { walk.records.push_back(record); });
        walk.result = plain_text_detail::parse_credential_file(path, out, &observer);
    }
    observer.finish(out);
    return walk;
}

std::string source_name(entry_source source) {
    const char* member = plain_text_detail::member_key(source.member);
    if (plain_text_detail::is_password_member(source.member)) {
        return member;
    }
    return std::string(member) + "[" + std::to_string(source.index) + "]";
}

std::string described_source(const file_walk& walk, entry_source source) {
    std::string text = source_name(source);
    if (!plain_text_detail::is_password_member(source.member)) {
        text += " " + quoted(source_entry(walk, source));
    }
    return text;
}

std::string source_entry(const file_walk& walk, entry_source source) {
    const std::vector<std::string>* list =
        plain_text_detail::member_list(walk.record, source.member);
    return list != nullptr && source.index < list->size() ? (*list)[source.index] : std::string();
}

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    out += text;
    out += '\'';
    return out;
}

}  // namespace credcheck
