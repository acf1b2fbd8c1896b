#include "render/GccReport.h"

#include <string>
#include <string_view>

#include "render/TerminalWriter.h"

namespace credcheck {

namespace {

// True when `text` at `at` goes on, after spaces, with a word a problem matcher takes for the
// severity of a gcc line.
bool severity_follows(std::string_view text, std::size_t at) {
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    const std::string_view rest = text.substr(at);
    for (const std::string_view word : {"error", "warning", "note", "fatal"}) {
        if (rest.substr(0, word.size()) == word) {
            return true;
        }
    }
    return false;
}

// `message` (escaped for a terminal already) with every ":" that a severity follows written as
// "\x3a": text of the file, an alias "x:2:3: error:" say, would otherwise make a second
// "FILE:LINE:COL: error:" that sends a problem matcher to another place.
std::string unforgeable(std::string_view message) {
    std::string out;
    out.reserve(message.size());
    for (std::size_t at = 0; at < message.size(); ++at) {
        if (message[at] == ':' && severity_follows(message, at + 1)) {
            out += "\\x3a";
        } else {
            out += message[at];
        }
    }
    return out;
}

}  // namespace

void write_gcc_report(std::ostream& out, const file_report& r) {
    terminal_writer line(out, *r.mask, false);
    for (const finding& f : r.findings) {
        if (f.accepted) {
            continue;
        }
        const text_position at = f.at.known() ? f.at : text_position{1, 1};
        line.file(f.file.empty() ? r.walk.path : f.file)(
                ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + ": " +
                std::string(severity_name(f.level)) + ": ")(
                unforgeable(shown_line(f.message, *r.mask)))(" [" + std::string(f.rule->id) + "]")
            .end_line();
    }
}

namespace {

class gcc_reporter final : public reporter {
public:
    explicit gcc_reporter(std::ostream& out) : out_(out) {}
    void file(const file_report& report) override { write_gcc_report(out_, report); }

private:
    std::ostream& out_;
};

}  // namespace

std::unique_ptr<reporter> make_gcc_reporter(std::ostream& out, const render_settings&) {
    return std::make_unique<gcc_reporter>(out);
}

}  // namespace credcheck
