#include "text/SafeText.h"

#include <algorithm>
#include <cstdint>

#include <utf8proc.h>

#include <Kelvor/Log.h>
#include <PlainTextFileParser/detail/CredentialText.h>

namespace credcheck {

namespace {

constexpr char HEX[] = "0123456789abcdef";

// "\u" and four hex digits for a code point of the basic plane, a surrogate pair above it.
void append_json_escape(std::string& out, std::uint32_t c) {
    if (c > 0xffff) {
        const std::uint32_t v = c - 0x10000;
        append_json_escape(out, 0xd800 + (v >> 10));
        append_json_escape(out, 0xdc00 + (v & 0x3ff));
        return;
    }
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += HEX[(c >> shift) & 0xf];
    }
}

// Calls `each(code_point, length)` for every character of `text`, with -1 and 1 for a byte that
// starts no valid UTF-8 sequence.
template <class Each>
void for_each_character(std::string_view text, Each&& each) {
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    for (std::size_t at = 0; at < text.size();) {
        if (bytes[at] < 0x80) {
            each(static_cast<utf8proc_int32_t>(bytes[at]), at, std::size_t{1});
            ++at;
            continue;
        }
        // utf8proc_iterate sets the code point to -1 where it fails.
        utf8proc_int32_t code_point = -1;
        utf8proc_ssize_t length = utf8proc_iterate(
            bytes + at, static_cast<utf8proc_ssize_t>(text.size() - at), &code_point);
        if (length <= 0) {
            length = 1;
        }
        each(code_point, at, static_cast<std::size_t>(length));
        at += static_cast<std::size_t>(length);
    }
}

// `text` escaped, with `spans` (what mask.find gives for it) masked, and masked again after
// escaping where the escaped form spells a password.
std::string masked_spans(std::string_view text, const std::vector<secret_mask::span>& spans,
                         const secret_mask& mask, std::string (*escape)(std::string_view)) {
    if (spans.empty()) {
        std::string escaped = escape(text);
        return escaped.size() == text.size() ? escaped : mask.apply(escaped);
    }
    std::string shown;
    std::size_t at = 0;
    for (const auto& [begin, end] : spans) {
        shown += escape(text.substr(at, begin - at));
        shown += PASSWORD_MASK;
        at = end;
    }
    shown += escape(text.substr(at));
    return mask.apply(shown);
}

}  // namespace

std::string terminal_text(std::string_view text) {
    return Kelvor::Log::Escape(text);
}

std::size_t terminal_width(std::string_view shown) {
    std::size_t width = 0;
    for_each_character(shown, [&](utf8proc_int32_t c, std::size_t, std::size_t) {
        width += c < 0x80 ? 1 : static_cast<std::size_t>(utf8proc_charwidth(c));
    });
    return width;
}

std::size_t shown_width(std::string_view text) {
    const bool printable_ascii =
        std::all_of(text.begin(), text.end(),
                    [](char c) { return c >= ' ' && c < 0x7f && c != '\\'; }) &&
        text.find("    ") == std::string_view::npos;
    return printable_ascii ? text.size() : terminal_width(terminal_text(text));
}

std::string json_escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    // Most text is printable ASCII, which JSON takes as it is: copied a run at a time.
    std::size_t run = 0;
    for_each_character(text, [&](utf8proc_int32_t c, std::size_t at, std::size_t length) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            return;
        }
        out.append(text, run, at - run);
        run = at + length;
        switch (c) {
            case -1:
                out += "\xef\xbf\xbd";  // U+FFFD
                break;
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if ((c < 0x20 || c >= 0x7f) && Kelvor::Log::IsHidden(static_cast<char32_t>(c))) {
                    append_json_escape(out, static_cast<std::uint32_t>(c));
                } else {
                    out.append(text, at, length);
                }
        }
    });
    out.append(text, run, std::string_view::npos);
    return out;
}

std::string json_quoted(std::string_view text) {
    return '"' + json_escaped(text) + '"';
}

std::string masked_key(std::string_view key, const secret_mask& mask,
                       std::string (*escape)(std::string_view)) {
    const plain_text_detail::key_parts parts = plain_text_detail::split_key(key);
    if (parts.user.size() == key.size()) {
        return escape(key);
    }
    if (mask.masks_all_text()) {
        return escape(parts.user) + '@' + masked_text(parts.host, mask, escape);
    }
    // A user name that is a password of the file (another credential's, as a rule finds) is
    // masked like one.
    if (mask.is_secret(parts.user)) {
        return std::string(PASSWORD_MASK) + '@' + masked_text(parts.host, mask, escape);
    }
    // One search of the whole key finds what lies in the host too; a password that reaches over
    // the "@" from the user into the host is masked whole.
    const std::size_t at = parts.user.size();
    const std::vector<secret_mask::span> spans = mask.find(key);
    if (spans.empty()) {
        // The common key: nothing to mask, and most often nothing to escape either.
        std::string shown = escape(key);
        if (shown.size() == key.size()) {
            return shown;
        }
    }
    std::vector<secret_mask::span> host_spans;
    for (const auto& [begin, end] : spans) {
        if (begin <= at && end > at) {
            return masked_text(key, mask, escape);
        }
        if (begin > at) {
            host_spans.emplace_back(begin - at - 1, end - at - 1);
        }
    }
    return escape(parts.user) + '@' + masked_spans(parts.host, host_spans, mask, escape);
}

std::string masked_text(std::string_view text, const secret_mask& mask,
                        std::string (*escape)(std::string_view)) {
    return masked_spans(text, mask.find(text), mask, escape);
}

}  // namespace credcheck
