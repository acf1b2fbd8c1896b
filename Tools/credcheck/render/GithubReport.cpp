// The findings as GitHub Actions workflow commands, which the Actions runner turns into
// annotations on the file's lines: "::error file=F,line=L,col=C,title=RULE::message".

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "render/Reporter.h"
#include "render/TerminalWriter.h"
#include "text/SafeText.h"

namespace credcheck {

namespace {

// The message of a command: "%", CR and LF are written as %25, %0D and %0A, so the message
// stays on its line and no text of it is taken for another command.
std::string command_data(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '%':
                out += "%25";
                break;
            case '\r':
                out += "%0D";
                break;
            case '\n':
                out += "%0A";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A property of a command: as its message, and ":" and "," as %3A and %2C besides, so that a
// value cannot end the properties or start another one.
std::string command_property(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : command_data(text)) {
        if (c == ':') {
            out += "%3A";
        } else if (c == ',') {
            out += "%2C";
        } else {
            out += c;
        }
    }
    return out;
}

// The runner's annotation levels are the severities' names, but that a note is a notice.
std::string_view command_of(severity level) {
    return level == severity::note ? "notice" : severity_name(level);
}

// One command per finding, the file's name and the message escaped for a terminal first (the
// runner's log is one) and masked, then as the command requires. A finding about the whole
// file has no line or column. A file the run could not read is an error of its own, so that a
// check does not pass on a file nobody read.
class github_reporter final : public reporter {
public:
    explicit github_reporter(std::ostream& out) : out_(out) {}

    void begin(const run_start& run) override {
        for (const std::string& name : run.names) {
            files_.push_back(command_property(masked_text(name, *run.mask, terminal_text)));
        }
    }

    void file(const file_report& r) override {
        const std::string& name = files_.at(next_++);
        if (r.walk.refusal) {
            write("error", name, {}, "", "cannot read the file: " + r.walk.refusal->reason);
        }
        for (const finding& f : r.findings) {
            if (f.accepted) {
                continue;
            }
            write(command_of(f.level),
                  f.file.empty() ? name
                                 : command_property(masked_text(f.file, *r.mask, terminal_text)),
                  f.at, f.rule->id, shown_line(f.message, *r.mask));
        }
    }

    void not_read(std::string_view reason) override {
        write("error", files_.at(next_++), {}, "", "cannot read the file: " + std::string(reason));
    }

private:
    void write(std::string_view command, const std::string& file, text_position at,
               std::string_view rule, const std::string& message) {
        std::string line = "::" + std::string(command) + " file=" + file;
        if (at.known()) {
            line += ",line=" + std::to_string(at.line) + ",col=" + std::to_string(at.column);
        }
        if (!rule.empty()) {
            line += ",title=" + command_property(rule);
        }
        line += "::" + command_data(message) + "\n";
        out_.write(line.data(), static_cast<std::streamsize>(line.size()));
        if (!out_) {
            throw output_failed();
        }
    }

    std::ostream& out_;
    std::vector<std::string> files_;
    std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<reporter> make_github_reporter(std::ostream& out, const render_settings&) {
    return std::make_unique<github_reporter>(out);
}

}  // namespace credcheck
