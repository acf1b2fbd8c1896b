#include "render/TerminalWriter.h"

#include <algorithm>
#include <sstream>

#include "text/SafeText.h"

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

}  // namespace

terminal_writer::terminal_writer(std::ostream& out, const secret_mask& mask, bool colour)
    : out_(out), mask_(mask), colour_(colour) {}

terminal_writer& terminal_writer::shown(const std::string& text, style look) {
    const char* code = colour_ ? colour_code(look) : nullptr;
    if (code != nullptr && !text.empty()) {
        line_ += "\033[";
        line_ += code;
        line_ += 'm';
        line_ += text;
        line_ += "\033[0m";
    } else {
        line_ += text;
    }
    width_ += terminal_width(text);
    return *this;
}

terminal_writer& terminal_writer::operator()(std::string_view own, style look) {
    return shown(std::string(own), look);
}

terminal_writer& terminal_writer::file(std::string_view text, style look) {
    return shown(masked_text(text, mask_, terminal_text), look);
}

terminal_writer& terminal_writer::key(std::string_view text, style look) {
    return shown(masked_key(text, mask_, terminal_text), look);
}

terminal_writer& terminal_writer::operator()(const report_text& text, style look) {
    for (const text_piece& piece : text.pieces()) {
        switch (piece.from) {
            case origin::own:
                (*this)(piece.text, look);
                break;
            case origin::file:
                file(piece.text, look);
                break;
            case origin::key:
                key(piece.text, look);
                break;
        }
    }
    return *this;
}

terminal_writer& terminal_writer::pad_to(std::size_t column, std::size_t minimum) {
    const std::size_t spaces = std::max(column > width_ ? column - width_ : 0, minimum);
    line_.append(spaces, ' ');
    width_ += spaces;
    return *this;
}

void terminal_writer::end_line() {
    line_ += '\n';
    out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
    line_.clear();
    width_ = 0;
    if (!out_) {
        throw output_failed();
    }
}

std::size_t terminal_writer::width_of(std::string_view text) {
    return shown_width(text);
}

std::string shown_line(const report_text& text, const secret_mask& mask) {
    std::ostringstream line;
    terminal_writer(line, mask, false)(text).end_line();
    std::string shown = std::move(line).str();
    shown.pop_back();  // the line end
    return shown;
}

}  // namespace credcheck
