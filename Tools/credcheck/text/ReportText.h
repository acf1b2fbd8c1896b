#pragma once
// A sentence of a report: the tool's own words with text of the file or the command line in
// between. Where each piece comes from decides how it is shown: the tool's words as they are,
// the file's text escaped and with its passwords masked, a key escaped but whole.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace credcheck {

/// `count` with thousands separators: "1,234,567".
inline std::string grouped(std::size_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

/// `count` and what it counts: "1 entry", "1,234 entries".
inline std::string count_of(std::size_t count, const char* one, const char* many) {
    return grouped(count) + " " + (count == 1 ? one : many);
}

/// Where a piece of text comes from.
enum class origin {
    /// The tool's own words: shown as they are, never masked.
    own,
    /// Text of the file or the command line: escaped, and masked where it holds a password.
    file,
    /// A key of the map the tools receive: escaped; its user shown whole, since a key is what
    /// the tools look up and a user name is no secret (unless it is a password of the file, a
    /// finding of its own, and then masked), its host masked like the file's text, since a host
    /// comes from a target's scope, where a password typed into the wrong place would stand.
    key,
};

/// Text of the file or the command line, to go into a report_text.
struct file_text {
    std::string_view text;
};

/// A key of the map, to go into a report_text.
struct key_text {
    std::string_view text;
};

/// A piece of a report_text: text of one origin. It views the report_text it came from.
struct text_piece {
    std::string_view text;
    origin from;
};

/// The tool's words and the file's text, in order. The pieces are kept as one string and where
/// each ends: a report of many findings holds two blocks per sentence, not one per piece.
class report_text {
public:
    report_text() = default;
    /// The tool's own words.
    explicit report_text(std::string_view own) { *this << own; }

    report_text& operator<<(std::string_view own) { return add(own, origin::own); }
    report_text& operator<<(file_text text) { return add(text.text, origin::file); }
    report_text& operator<<(key_text text) { return add(text.text, origin::key); }
    report_text& operator<<(const report_text& more) {
        for (const text_piece& piece : more.pieces()) {
            add(piece.text, piece.from);
        }
        return *this;
    }

    /// The pieces in order, viewing this text: valid while it lives unchanged.
    std::vector<text_piece> pieces() const {
        std::vector<text_piece> all;
        all.reserve(ends_.size());
        std::size_t begin = 0;
        for (const auto& [end, from] : ends_) {
            all.push_back({std::string_view(text_).substr(begin, end - begin), from});
            begin = end;
        }
        return all;
    }
    bool empty() const { return ends_.empty(); }
    /// Every piece as it stands, unmasked and unescaped: for comparing and testing.
    const std::string& raw() const { return text_; }

private:
    report_text& add(std::string_view text, origin from) {
        if (text.empty()) {
            return *this;
        }
        text_ += text;
        if (!ends_.empty() && ends_.back().second == from) {
            ends_.back().first = text_.size();
        } else {
            ends_.emplace_back(text_.size(), from);
        }
        return *this;
    }

    std::string text_;
    std::vector<std::pair<std::size_t, origin>> ends_;
};

/// `text` quoted as reports quote a name or an entry of the file: 'text'.
inline report_text quoted(std::string_view text) {
    report_text quoted_text;
    quoted_text << "'" << file_text{text} << "'";
    return quoted_text;
}

}  // namespace credcheck
