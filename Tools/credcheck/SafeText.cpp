#include "SafeText.h"

#include <cstdint>

namespace credcheck {

namespace {

constexpr char HEX[] = "0123456789abcdef";

// One character of UTF-8 text: its code point, or -1 for a byte that starts no valid sequence
// (then `length` is 1).
struct utf8_char {
    std::int32_t code_point;
    std::size_t length;
};

// Decodes the character at `at`, refusing overlong forms, surrogates and values above U+10FFFF.
utf8_char decode(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    std::int32_t code_point = 0;
    std::int32_t minimum = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, code_point = lead & 0x1f, minimum = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, code_point = lead & 0x0f, minimum = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, code_point = lead & 0x07, minimum = 0x10000;
    } else {
        return {-1, 1};
    }
    if (at + length > text.size()) {
        return {-1, 1};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) {
            return {-1, 1};
        }
        code_point = code_point << 6 | (byte(at + i) & 0x3f);
    }
    if (code_point < minimum || code_point > 0x10ffff ||
        (code_point >= 0xd800 && code_point <= 0xdfff)) {
        return {-1, 1};
    }
    return {code_point, length};
}

// C1 controls, and the format characters that reorder text or hide it: a file could use them to
// make one text look like another.
bool is_hidden(std::int32_t c) {
    return (c >= 0x80 && c <= 0x9f) || c == 0x061c || c == 0x180e || (c >= 0x200b && c <= 0x200f) ||
           (c >= 0x2028 && c <= 0x202e) || (c >= 0x2060 && c <= 0x2064) ||
           (c >= 0x2066 && c <= 0x206f) || c == 0xfeff || (c >= 0xfff9 && c <= 0xfffb) ||
           (c >= 0xe0000 && c <= 0xe007f);
}

void append_hex(std::string& out, std::uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out += HEX[(value >> shift) & 0xf];
    }
}

// "\u" and four hex digits for a code point of the basic plane, a surrogate pair above it.
void append_json_escape(std::string& out, std::int32_t c) {
    if (c > 0xffff) {
        const auto v = static_cast<std::uint32_t>(c - 0x10000);
        append_json_escape(out, static_cast<std::int32_t>(0xd800 + (v >> 10)));
        append_json_escape(out, static_cast<std::int32_t>(0xdc00 + (v & 0x3ff)));
        return;
    }
    out += "\\u";
    append_hex(out, static_cast<std::uint32_t>(c), 4);
}

}  // namespace

std::string terminal_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const utf8_char c = decode(text, at);
        if (c.code_point < 0) {
            out += "\\x";
            append_hex(out, static_cast<unsigned char>(text[at]), 2);
        } else if (c.code_point == '\\') {
            out += "\\\\";
        } else if (c.code_point == '\n') {
            out += "\\n";
        } else if (c.code_point == '\r') {
            out += "\\r";
        } else if (c.code_point == '\t') {
            out += "\\t";
        } else if (c.code_point < 0x20 || c.code_point == 0x7f) {
            out += "\\x";
            append_hex(out, static_cast<std::uint32_t>(c.code_point), 2);
        } else if (is_hidden(c.code_point)) {
            out += c.code_point > 0xffff ? "\\U" : "\\u";
            append_hex(out, static_cast<std::uint32_t>(c.code_point),
                       c.code_point > 0xffff ? 8 : 4);
        } else {
            out.append(text, at, c.length);
        }
        at += c.length;
    }
    return out;
}

std::size_t terminal_width(std::string_view shown) {
    std::size_t width = 0;
    for (const char c : shown) {
        width += (static_cast<unsigned char>(c) & 0xc0) != 0x80 ? 1 : 0;
    }
    return width;
}

std::string json_quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t at = 0; at < text.size();) {
        const utf8_char c = decode(text, at);
        switch (c.code_point) {
            case -1:
                out += "\xef\xbf\xbd";
                break;  // U+FFFD
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
                if (c.code_point < 0x20 || c.code_point == 0x7f || is_hidden(c.code_point)) {
                    append_json_escape(out, c.code_point);
                } else {
                    out.append(text, at, c.length);
                }
        }
        at += c.length;
    }
    out += '"';
    return out;
}

}  // namespace credcheck
