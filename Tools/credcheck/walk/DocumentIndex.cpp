#include "walk/DocumentIndex.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include <boost/json/basic_parser_impl.hpp>

#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/detail/SecretMemory.h>

namespace credcheck {

namespace {

using plain_text_detail::member_id;
using plain_text_detail::member_kind;

// Walks the raw text in step with the parser's events to say where each token stands. The
// parser has checked the text up to each event, so between two tokens there is nothing but
// whitespace, comments, ":" and ",", and the cursor only has to find the next token's first
// byte. Lines and columns are counted as the cursor moves, once per byte.
class cursor {
public:
    cursor(std::string_view text, std::vector<comment_occurrence>& comments)
        : text_(text), comments_(comments) {}

    // Moves to the next byte that `starts` accepts and says where it stands. The comments it
    // passes that are addressed to credcheck are kept.
    template <class Starts>
    text_position find(Starts starts) {
        while (at_ < text_.size() && !starts(text_[at_])) {
            if (text_[at_] == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/') {
                const std::size_t end = std::min(text_.find('\n', at_), text_.size());
                pass_comment(end, end);
            } else if (text_[at_] == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '*') {
                const std::size_t end = std::min(text_.find("*/", at_ + 2), text_.size());
                pass_comment(end, std::min(end + 2, text_.size()));
            } else {
                advance_to(at_ + 1);
            }
        }
        return here_;
    }

    // At a '"': moves past the closing quote.
    void skip_string() {
        std::size_t end = at_ + 1;
        while (end < text_.size() && text_[end] != '"') {
            end += text_[end] == '\\' ? 2 : 1;
        }
        advance_to(std::min(end + 1, text_.size()));
    }

    // Moves past the byte it stands on.
    void step() { advance_to(std::min(at_ + 1, text_.size())); }

    // Moves past every byte that `inside` accepts.
    template <class Inside>
    void skip_while(Inside inside) {
        std::size_t end = at_;
        while (end < text_.size() && inside(text_[end])) {
            ++end;
        }
        advance_to(end);
    }

private:
    // Past a comment whose text ends at `text_end` and the comment at `end`.
    void pass_comment(std::size_t text_end, std::size_t end) {
        const std::string_view text = text_.substr(at_ + 2, text_end - at_ - 2);
        const bool kept = text.find(TOOL_COMMENT_MARK) != std::string_view::npos;
        const comment_occurrence comment{kept ? std::string(text) : std::string(), here_, 0,
                                         line_has_text_};
        advance_to(end);
        if (kept) {
            comments_.push_back(comment);
            comments_.back().end_line = here_.line;
        }
    }

    void advance_to(std::size_t end) {
        for (; at_ < end; ++at_) {
            const auto byte = static_cast<unsigned char>(text_[at_]);
            if (byte == '\n') {
                ++here_.line;
                here_.column = 1;
                line_has_text_ = false;
            } else {
                line_has_text_ = line_has_text_ || (byte != ' ' && byte != '\t' && byte != '\r');
                if ((byte & 0xc0) != 0x80) {
                    ++here_.column;
                }
            }
        }
    }

    std::string_view text_;
    std::vector<comment_occurrence>& comments_;
    std::size_t at_ = 0;
    text_position here_{1, 1};
    bool line_has_text_ = false;
};

bool is_number_byte(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// Appends `secret` to `secrets`. Where the list outgrows its storage, the short secrets that
// stand in the strings themselves are wiped from the old storage before it goes back.
void append_secret(std::vector<std::string>& secrets, std::string_view secret) {
    if (secrets.size() == secrets.capacity()) {
        std::vector<std::string> grown;
        grown.reserve(std::max<std::size_t>(16, 2 * secrets.capacity()));
        for (std::string& moved : secrets) {
            grown.push_back(std::move(moved));
            plain_text_detail::wipe_string(moved);
        }
        secrets.swap(grown);
    }
    secrets.emplace_back(secret);
}

// The member of the credential document a top-level name stands for, if any.
const plain_text_detail::member_facts* known_member(std::string_view name) {
    for (const plain_text_detail::member_facts& member : plain_text_detail::MEMBER_FACTS) {
        if (name == member.key) {
            return &member;
        }
    }
    return nullptr;
}

class index_handler {
public:
    static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);

    index_handler(std::string_view text, document_index& index)
        : cursor_(text, index.comments), index_(index) {}

    bool on_document_begin(boost::system::error_code&) { return true; }
    bool on_document_end(boost::system::error_code&) { return true; }

    bool on_object_begin(boost::system::error_code&) {
        begin_value(value_kind::object, cursor_.find([](char c) { return c == '{'; }));
        cursor_.step();
        open(true);
        return true;
    }
    bool on_object_end(std::size_t n, boost::system::error_code&) {
        cursor_.find([](char c) { return c == '}'; });
        cursor_.step();
        close(n);
        return true;
    }
    bool on_array_begin(boost::system::error_code&) {
        begin_value(value_kind::array, cursor_.find([](char c) { return c == '['; }));
        cursor_.step();
        open(false);
        return true;
    }
    bool on_array_end(std::size_t n, boost::system::error_code&) {
        cursor_.find([](char c) { return c == ']'; });
        cursor_.step();
        close(n);
        return true;
    }

    bool on_key_part(std::string_view part, std::size_t, boost::system::error_code&) {
        key_part(part);
        return true;
    }
    bool on_key(std::string_view part, std::size_t, boost::system::error_code&) {
        key_part(part);
        key_done();
        return true;
    }
    bool on_string_part(std::string_view part, std::size_t, boost::system::error_code&) {
        string_part(part);
        return true;
    }
    bool on_string(std::string_view part, std::size_t, boost::system::error_code&) {
        string_part(part);
        string_done();
        return true;
    }

    bool on_number_part(std::string_view, boost::system::error_code&) {
        number();
        return true;
    }
    bool on_int64(std::int64_t, std::string_view, boost::system::error_code&) {
        number();
        in_number_ = false;
        return true;
    }
    bool on_uint64(std::uint64_t, std::string_view, boost::system::error_code&) {
        number();
        in_number_ = false;
        return true;
    }
    bool on_double(double, std::string_view, boost::system::error_code&) {
        number();
        in_number_ = false;
        return true;
    }
    bool on_bool(bool, boost::system::error_code&) {
        begin_value(value_kind::boolean, cursor_.find([](char c) { return c == 't' || c == 'f'; }));
        cursor_.skip_while([](char c) { return c >= 'a' && c <= 'z'; });
        return true;
    }
    bool on_null(boost::system::error_code&) {
        begin_value(value_kind::null, cursor_.find([](char c) { return c == 'n'; }));
        cursor_.skip_while([](char c) { return c >= 'a' && c <= 'z'; });
        return true;
    }
    bool on_comment_part(std::string_view, boost::system::error_code&) { return true; }
    bool on_comment(std::string_view, boost::system::error_code&) { return true; }

    // Marks the occurrences the binding keeps.
    // Once the parser is done: `whole` when the text parsed to its end, whose comments past the
    // last value are then kept too.
    void finish(bool whole) {
        if (whole) {
            cursor_.find([](char) { return false; });
        }
        std::unordered_map<std::string_view, std::size_t> last;
        for (std::size_t i = 0; i < index_.members.size(); ++i) {
            last[index_.members[i].name] = i;
        }
        for (const auto& [name, i] : last) {
            index_.members[i].bound = true;
        }
        const member_occurrence* credentials =
            index_.bound_member(member_id::connection_credentials);
        if (credentials == nullptr || credentials->kind != value_kind::object) {
            return;
        }
        const auto object = static_cast<std::size_t>(credentials - index_.members.data());
        std::unordered_map<std::string_view, std::size_t> last_alias;
        for (std::size_t i = 0; i < index_.aliases.size(); ++i) {
            if (index_.aliases[i].object == object) {
                last_alias[index_.aliases[i].alias] = i;
            }
        }
        for (const auto& [alias, i] : last_alias) {
            index_.aliases[i].bound = true;
            index_.bound_aliases.push_back(i);
        }
        std::sort(index_.bound_aliases.begin(), index_.bound_aliases.end(),
                  [this](std::size_t a, std::size_t b) {
                      return index_.aliases[a].alias < index_.aliases[b].alias;
                  });
    }

private:
    // What an open container is to the document.
    enum class role {
        other,
        root_object,  // the top-level object: its keys are member names
        credentials,  // a connection_credentials object: its keys are aliases
        list,         // the array of a list member: its elements are entries
    };
    struct frame {
        role what;
        bool is_object;
    };

    // A value starts at `at`: note it where it means something.
    void begin_value(value_kind kind, text_position at) {
        value_role_ = role::other;
        if (frames_.empty()) {
            value_role_ = kind == value_kind::object ? role::root_object : role::other;
            return;
        }
        const frame& parent = frames_.back();
        if (parent.what == role::root_object && !index_.members.empty()) {
            member_occurrence& member = index_.members.back();
            member.value_at = at;
            member.kind = kind;
            const plain_text_detail::member_facts* facts = known_member(member.name);
            current_member_ = facts;
            if (facts == nullptr) {
                return;
            }
            if (facts->kind == member_kind::list) {
                index_.elements[static_cast<std::size_t>(facts->id)].clear();
                if (kind == value_kind::array) {
                    value_role_ = role::list;
                }
            } else if (facts->kind == member_kind::credentials && kind == value_kind::object) {
                value_role_ = role::credentials;
            } else if (facts->kind == member_kind::password && kind == value_kind::string) {
                collecting_ = true;  // every value of a password member is a password
            }
        } else if (parent.what == role::list && list_member_ != nullptr) {
            index_.elements[static_cast<std::size_t>(list_member_->id)].push_back(at);
        } else if (parent.what == role::credentials && !index_.aliases.empty()) {
            alias_occurrence& alias = index_.aliases.back();
            alias.value_at = at;
            alias.is_string = kind == value_kind::string;
            collecting_ = alias.is_string;
            in_credential_ = true;
        }
    }

    void open(bool is_object) {
        if (value_role_ == role::list) {
            list_member_ = current_member_;
        }
        frames_.push_back({value_role_, is_object});
        value_role_ = role::other;
    }

    void close(std::size_t items) {
        frames_.pop_back();
        if (!frames_.empty() && frames_.back().what == role::root_object &&
            !index_.members.empty()) {
            index_.members.back().items = items;
        }
    }

    void key_part(std::string_view part) {
        if (!in_key_) {
            in_key_ = true;
            key_at_ = cursor_.find([](char c) { return c == '"'; });
            cursor_.skip_string();
            collected_.clear();
        }
        const role parent = frames_.empty() ? role::other : frames_.back().what;
        if (parent == role::root_object || parent == role::credentials) {
            collected_.append(part);
        }
    }

    void key_done() {
        in_key_ = false;
        const role parent = frames_.empty() ? role::other : frames_.back().what;
        if (parent == role::root_object) {
            member_occurrence member;
            member.name = collected_;
            member.name_at = key_at_;
            index_.members.push_back(std::move(member));
        } else if (parent == role::credentials) {
            alias_occurrence alias;
            alias.alias = collected_;
            alias.name_at = key_at_;
            alias.object = index_.members.size() - 1;
            index_.aliases.push_back(std::move(alias));
        }
        collected_.clear();
    }

    void string_part(std::string_view part) {
        if (!in_string_) {
            in_string_ = true;
            begin_value(value_kind::string, cursor_.find([](char c) { return c == '"'; }));
            cursor_.skip_string();
            collected_.clear();
        }
        if (collecting_) {
            collected_.append(part);
        }
    }

    // A password member's value is a password; a credential text holds one after its first ":".
    void string_done() {
        in_string_ = false;
        if (collecting_) {
            std::string_view secret = collected_;
            if (in_credential_) {
                secret = plain_text_detail::split_credential(secret).password;
            }
            if (!secret.empty()) {
                append_secret(index_.secrets, secret);
            }
        }
        collecting_ = false;
        in_credential_ = false;
        collected_.clear();
    }

    void number() {
        if (!in_number_) {
            in_number_ = true;
            begin_value(value_kind::number,
                        cursor_.find([](char c) { return c == '-' || (c >= '0' && c <= '9'); }));
            cursor_.skip_while(is_number_byte);
        }
    }

    cursor cursor_;
    document_index& index_;
    std::vector<frame> frames_;
    role value_role_ = role::other;
    const plain_text_detail::member_facts* current_member_ = nullptr;
    const plain_text_detail::member_facts* list_member_ = nullptr;
    bool in_key_ = false;
    bool in_string_ = false;
    bool in_number_ = false;
    bool collecting_ = false;
    bool in_credential_ = false;
    text_position key_at_;
    // The name or string being read: a password, when it is one of a credential or a password
    // member.
    plain_text_detail::secret_string collected_;
};

}  // namespace

const member_occurrence* document_index::bound_member(member_id member) const {
    const char* key = plain_text_detail::member_key(member);
    for (const member_occurrence& occurrence : members) {
        if (occurrence.bound && occurrence.name == key) {
            return &occurrence;
        }
    }
    return nullptr;
}

text_position document_index::element_at(member_id member, std::size_t index) const {
    const std::vector<text_position>& list = elements[static_cast<std::size_t>(member)];
    return index < list.size() ? list[index] : text_position{};
}

const alias_occurrence* document_index::bound_alias(std::string_view alias) const {
    const auto found = std::lower_bound(
        bound_aliases.begin(), bound_aliases.end(), alias,
        [this](std::size_t i, std::string_view wanted) { return aliases[i].alias < wanted; });
    return found != bound_aliases.end() && aliases[*found].alias == alias ? &aliases[*found]
                                                                          : nullptr;
}

document_index index_document(std::string_view text) {
    document_index index;
    try {
        boost::json::basic_parser<index_handler> parser(credential_parse_options(), text, index);
        boost::system::error_code error;
        parser.write_some(false, text.data(), text.size(), error);
        parser.handler().finish(!error);
    } catch (...) {
        // Out of memory half-way: the passwords found so far are wiped before the index goes.
        for (std::string& secret : index.secrets) {
            plain_text_detail::wipe_string(secret);
        }
        throw;
    }
    return index;
}

}  // namespace credcheck
