#pragma once
// Where everything of a credential document stands, and what the binding does not keep.
//
// Boost.JSON keeps the last of two members with one name, so the value the walk binds tells
// nothing of the earlier one: a password given twice, a list written twice. One pass of
// Boost.JSON's event parser over the text the walk read sees every value where it stands: the
// line and column of every member name and value, every list element and every alias, every
// member given more than once, and every password the document gives, kept or not.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <PlainTextFileParser/detail/RecordMembers.h>

namespace credcheck {

/// A place in the document: 1-based line, and column in characters (code points). Zero for a
/// place that is not known.
struct text_position {
    std::size_t line = 0;
    std::size_t column = 0;

    bool known() const { return line != 0; }
};

/// `at` as reports write a place: "line 8:5".
inline std::string line_and_column(text_position at) {
    return "line " + std::to_string(at.line) + ":" + std::to_string(at.column);
}

/// What kind of JSON value a member has.
enum class value_kind { object, array, string, number, boolean, null };

/// A member of the top-level object, as the document writes it.
struct member_occurrence {
    /// The name, unescaped.
    std::string name;
    text_position name_at;
    text_position value_at;
    value_kind kind = value_kind::null;
    /// Elements of an array, members of an object.
    std::size_t items = 0;
    /// True for the last occurrence of its name: the one Boost.JSON keeps and the walk binds.
    bool bound = false;
};

/// A member of a connection_credentials object: an alias and its credential.
struct alias_occurrence {
    std::string alias;
    text_position name_at;
    text_position value_at;
    /// Which member occurrence (of connection_credentials) holds it.
    std::size_t object = 0;
    bool is_string = false;
    /// True when the walk binds it: the last occurrence of the alias in the bound object.
    bool bound = false;
};

/// Comments holding this are addressed to credcheck, and kept; all others are skipped.
inline constexpr std::string_view TOOL_COMMENT_MARK = "credcheck-";

/// A comment addressed to credcheck, where it stands.
struct comment_occurrence {
    /// Its text between the delimiters ("//" and the line end, or "/*" and "*/").
    std::string text;
    /// Where it begins, and the line it ends on.
    text_position at;
    std::size_t end_line = 0;
    /// Whether the document's text stands before it on its first line: a trailing comment.
    bool trailing = false;
};

/// Everything the pass saw, in document order.
struct document_index {
    /// Every member of the top-level object (none when the top-level value is no object).
    std::vector<member_occurrence> members;
    /// Every alias of every connection_credentials object.
    std::vector<alias_occurrence> aliases;
    /// Where each element of the bound list members stands, by element index.
    std::array<std::vector<text_position>, plain_text_detail::MEMBER_COUNT> elements;
    /// Every password the document gives, kept or not: the part after the first ":" of every
    /// credential text, and every string value of the two password members.
    std::vector<std::string> secrets;
    /// The comments that hold TOOL_COMMENT_MARK, anywhere a comment may stand.
    std::vector<comment_occurrence> comments;
    /// The bound aliases, as indices into `aliases` ordered by alias.
    std::vector<std::size_t> bound_aliases;

    /// The bound occurrence of `member`, or null when the document has none.
    const member_occurrence* bound_member(plain_text_detail::member_id member) const;
    /// Where element `index` of the list `member` stands; unknown when there is no such element.
    text_position element_at(plain_text_detail::member_id member, std::size_t index) const;
    /// The bound occurrence of `alias`, or null.
    const alias_occurrence* bound_alias(std::string_view alias) const;
};

/// Indexes `text`, a credential document parsed with the credential parse options, up to its
/// end or up to where it stops parsing (then what stands before is indexed). Throws
/// std::bad_alloc.
document_index index_document(std::string_view text);

}  // namespace credcheck
