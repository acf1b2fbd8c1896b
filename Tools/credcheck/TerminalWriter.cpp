#include "TerminalWriter.h"

#include <algorithm>

#include "SafeText.h"

namespace credcheck {

namespace {

const char* colour_code(style look) {
    switch (look) {
        case style::heading:
            return "1";
        case style::good:
            return "32";
        case style::bad:
            return "31";
        case style::warning:
            return "33";
        case style::dim:
            return "2";
        case style::plain:
            break;
    }
    return nullptr;
}

std::string unchanged(std::string_view text) {
    return std::string(text);
}

}  // namespace

terminal_writer::terminal_writer(std::ostream& out, const secret_mask& mask, bool colour)
    : out_(out), mask_(mask), colour_(colour) {}

terminal_writer& terminal_writer::operator()(std::string_view text, style look) {
    line_.push_back({std::string(text), look});
    width_ += width_of(text);
    return *this;
}

terminal_writer& terminal_writer::pad_to(std::size_t column, std::size_t minimum) {
    // The writer's own spaces: neither escaped nor masked, whatever the file's passwords are.
    const std::size_t spaces = std::max(column > width_ ? column - width_ : 0, minimum);
    line_.push_back({std::string(), style::plain, spaces});
    width_ += spaces;
    return *this;
}

std::size_t terminal_writer::width_of(std::string_view text) {
    return terminal_width(terminal_text(text));
}

template <class Transform>
std::vector<terminal_writer::piece> terminal_writer::masked(const std::vector<piece>& pieces,
                                                            Transform transform) const {
    std::string whole;
    for (const piece& p : pieces) {
        whole += p.text;
    }
    const std::vector<secret_mask::span> spans = mask_.find(whole);
    std::vector<piece> out;
    out.reserve(pieces.size());
    std::size_t start = 0;  // of the current piece in `whole`
    auto span = spans.begin();
    for (const piece& p : pieces) {
        const std::size_t end = start + p.text.size();
        std::string text;
        std::size_t at = start;
        while (at < end) {
            while (span != spans.end() && span->second <= at) {
                ++span;
            }
            if (span == spans.end() || span->first >= end) {
                text += transform(std::string_view(whole).substr(at, end - at));
                break;
            }
            if (span->first > at) {
                text += transform(std::string_view(whole).substr(at, span->first - at));
                at = span->first;
            }
            if (span->first >= start) {
                text += PASSWORD_MASK;  // the mask goes where its span begins
            }
            at = std::min(span->second, end);
        }
        out.push_back({std::move(text), p.look, p.padding});
        start = end;
    }
    return out;
}

void terminal_writer::end_line() {
    const std::vector<piece> escaped = masked(line_, terminal_text);
    for (const piece& p : masked(escaped, unchanged)) {
        out_ << std::string(p.padding, ' ');
        const char* code = colour_ ? colour_code(p.look) : nullptr;
        if (code != nullptr && !p.text.empty()) {
            out_ << "\033[" << code << 'm' << p.text << "\033[0m";
        } else {
            out_ << p.text;
        }
    }
    out_ << '\n';
    line_.clear();
    width_ = 0;
}

}  // namespace credcheck
