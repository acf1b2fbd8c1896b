// The output formats: GitHub's workflow commands as the runner parses them, and text reports
// that stay in proportion to the keys they list.

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "cli/Run.h"
#include "render/DiffReport.h"
#include "render/HumanReport.h"
#include "render/Reporter.h"
#include "text/SafeText.h"

namespace {

using namespace credcheck;

// A command's text as the runner reads it back.
std::string unescaped(const std::string& text) {
    static const std::pair<const char*, char> kEscapes[] = {
        {"%0D", '\r'}, {"%0A", '\n'}, {"%3A", ':'}, {"%2C", ','}, {"%25", '%'}};
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        bool escape = false;
        for (const auto& [code, c] : kEscapes) {
            if (text.compare(at, 3, code) == 0) {
                out += c;
                at += 2;
                escape = true;
                break;
            }
        }
        EXPECT_TRUE(escape || text[at] != '%') << "a bare % in " << text;
        out += escape ? "" : std::string(1, text[at]);
    }
    return out;
}

TEST(GithubCommands, EveryLineParsesBackToTheMaskedEscapedText) {
    test_support::TempDir dir;
    // A name and an alias that would end a property, start a command or a line, or decode wrong.
    const std::string name = "a:1,b%25\r\n::error Pw-Hidden-9.json";
    const std::string path = dir.write(name, R"({"connection_credentials": {"u": "u:Pw-Hidden-9"},
        "target_systems": ["x%0A::error file=y,line=1::z\r\n@10.0.0.1"]})");
    options opts;
    opts.files = {path};
    const file_report r = build_report(path, opts);
    std::ostringstream out;
    const std::unique_ptr<reporter> github = find_format("github")->make(out, {});
    github->begin({{path}, r.mask, {}});
    github->file(r);
    github->end();

    std::istringstream lines(out.str());
    std::string line;
    std::size_t commands = 0;
    while (std::getline(lines, line)) {
        // "::LEVEL PROPERTIES::MESSAGE", the properties "file=F[,line=L,col=C],title=RULE".
        const std::size_t space = line.find(' ');
        const std::size_t end = line.find("::", 2);
        ASSERT_TRUE(line.rfind("::", 0) == 0 && space < end && end != std::string::npos) << line;
        const std::string level = line.substr(2, space - 2);
        EXPECT_TRUE(level == "error" || level == "warning" || level == "notice") << line;
        std::istringstream properties(line.substr(space + 1, end - space - 1));
        std::vector<std::string> names;
        for (std::string property; std::getline(properties, property, ',');) {
            const std::size_t equals = property.find('=');
            ASSERT_NE(equals, std::string::npos) << line;
            EXPECT_EQ(property.find(':'), std::string::npos) << line;
            names.push_back(property.substr(0, equals));
            if (names.back() == "file") {
                EXPECT_EQ(unescaped(property.substr(equals + 1)),
                          masked_text(path, *r.mask, terminal_text));
            }
        }
        EXPECT_TRUE(names == (std::vector<std::string>{"file", "line", "col", "title"}) ||
                    names == (std::vector<std::string>{"file", "title"}))
            << line;
        EXPECT_EQ(line.find("Pw-Hidden-9"), std::string::npos);
        EXPECT_EQ(line.find('\r'), std::string::npos);
        const std::string message = unescaped(line.substr(end + 2));
        if (message.find("x%0A::error file=y,line=1::z\\r\\n") != std::string::npos) {
            ++commands;  // the alias, whole, in the message of its finding
        }
    }
    EXPECT_EQ(commands, 1u);
}

// The annotation's level is the finding's severity, but that a note is a notice.
TEST(GithubCommands, LevelIsTheSeverityAndANoteANotice) {
    test_support::TempDir dir;
    const std::string path = dir.write("c.json", R"({"connection_credentials": {"a": "u:Pass-1"},
        "target_systems": ["a@10.0.0.0/30", "a@10.0.0.2-5", "ghost@10.0.0.9"], "privpassword": 5})");
    options opts;
    opts.files = {path};
    const file_report r = build_report(path, opts);
    std::ostringstream out;
    const std::unique_ptr<reporter> github = find_format("github")->make(out, {});
    github->begin({{path}, r.mask, {}});
    github->file(r);
    github->end();
    std::vector<std::string> levels;  // of the shadowed key, the unknown alias, the bad member
    for (const std::string rule : {"shadowed-key", "unknown-alias", "unusable-member"}) {
        const std::size_t at = out.str().find("title=" + rule + "::");
        ASSERT_NE(at, std::string::npos) << rule;
        const std::size_t start = out.str().rfind("\n::", at);
        const std::size_t from = start == std::string::npos ? 2 : start + 3;
        levels.push_back(out.str().substr(from, out.str().find(' ', from) - from));
    }
    EXPECT_EQ(levels, (std::vector<std::string>{"notice", "warning", "error"}));
    // A finding placed in the file carries its place; one about the whole file has none.
    EXPECT_NE(out.str().find(",line=2,col=61,title=unknown-alias::"), std::string::npos);
    EXPECT_NE(out.str().find(",title=permissions::"), std::string::npos);
    EXPECT_EQ(out.str().find(",line=0"), std::string::npos);
}

std::size_t count_in(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// A long entry whose keys an earlier entry splits into runs is quoted once, named by place after.
TEST(TextReports, QuoteALongEntryOnce) {
    test_support::TempDir dir;
    const std::string alias(80, 'a');
    const std::string path = dir.write(
        "new.json", R"({"connection_credentials": {"b": "u:Pw-B-1", ")" + alias + R"(": "u:Pw-A-2"},
        "target_systems": ["b@10.0.0.3", ")" +
                        alias + R"(@10.0.0.0/29"]})");
    const std::string named = "target_systems[1] (line 2:42)";
    options opts;
    opts.files = {path};
    opts.all_keys = true;
    std::ostringstream report;
    write_human_report(report, build_report(path, opts), false);
    EXPECT_EQ(count_in(report.str(), alias), 2u) << report.str();  // its finding, the entries
    EXPECT_EQ(count_in(report.str(), named), 5u) << report.str();

    const file_diff diff = diff_walks(walk_file(dir.write("old.json", "{}")), walk_file(path));
    std::ostringstream changes;
    write_human_diff(changes, diff, secret_mask({}), false, false);
    EXPECT_EQ(count_in(changes.str(), alias), 1u) << changes.str();
    EXPECT_EQ(count_in(changes.str(), named), 1u) << changes.str();
}

}  // namespace
