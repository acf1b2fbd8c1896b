// Suppression comments: which findings they accept, and what a comment that accepts nothing says.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "findings/Findings.h"

namespace {

using namespace credcheck;
using test_support::TempDir;

// "rule line" for each finding, with " accepted" for those a suppression accepts.
std::vector<std::string> judged(const std::string& document,
                                std::vector<std::string> ignored = {}) {
    TempDir dir;
    const file_walk walk = walk_file(dir.write("credentials.json", document));
    finding_settings settings;
    settings.today = "2026-06-01";
    settings.ignored = std::move(ignored);
    settings.ignored.push_back("permissions");  // of the temporary file
    std::vector<std::string> found;
    for (const finding& f : find_findings(walk, settings)) {
        found.push_back(std::string(f.rule->id) + " " + std::to_string(f.at.line) +
                        (f.accepted ? " accepted" : ""));
    }
    return found;
}

// A file whose credential 'a' has an empty password (line 2) and whose 'b' is used nowhere
// (line 3), with `comments` standing where their names say.
std::string with_comments(const std::string& trailing_a, const std::string& above_b,
                          const std::string& trailing_b = "") {
    return "{\"connection_credentials\": {\n"
           "  \"a\": \"u:\", " +
           trailing_a + "\n" + above_b +
           "\n"
           "  \"b\": \"v:Pass-2x\"" +
           trailing_b +
           "},\n"
           " \"target_systems\": [\"a@10.0.0.1\"]}";
}

TEST(Suppressions, AcceptTheFindingsOfTheirLine) {
    const struct {
        const char* name;
        std::string document;
        std::vector<std::string> found;
    } cases[] = {
        {"a trailing comment speaks for its line, one on its own line for the next",
         with_comments("// credcheck-ignore empty-password: set at first login",
                       "  // credcheck-ignore unused-credential: kept for the bench"),
         {"empty-password 2 accepted", "unused-credential 4 accepted"}},
        {"several rules, a block comment over lines, and an end date still to come",
         with_comments("/* credcheck-ignore no-effect,empty-password:\n  set at first login */", "",
                       " /* credcheck-ignore unused-credential: spare (until 2026-06-01) */"),
         {"empty-password 2 accepted", "unused-credential 5 accepted"}},
        {"a rule the line does not break, and an ended one",
         with_comments("// credcheck-ignore reused-password: no such finding here",
                       "  // credcheck-ignore unused-credential: spare (until 2026-05-31)"),
         {"empty-password 2", "unused-suppression 2", "expired-suppression 3",
          "unused-credential 4"}},
        {"no reason, no rule, an unknown rule, a rule about suppressions, no day",
         with_comments("// credcheck-ignore empty-password",
                       "  // credcheck-ignore : why\n"
                       "  // credcheck-ignore unused-credentials: typo\n"
                       "  // credcheck-ignore unused-suppression: no\n"
                       "  // credcheck-ignore unused-credential: x (until 2024-04-31)\n"
                       "  // credcheck-ignore unused-credential: x (until 2026-6-1)"),
         {"empty-password 2", "invalid-suppression 2", "invalid-suppression 3",
          "invalid-suppression 4", "invalid-suppression 5", "invalid-suppression 6",
          "invalid-suppression 7", "unused-credential 8"}},
        {"comments that only look alike are no suppressions",
         with_comments("// credcheck-ignored empty-password: x", "  // see credcheck-ignore"),
         {"empty-password 2", "unused-credential 4"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(judged(c.document), c.found) << c.name;
    }
    // --ignore leaves the findings about suppressions out like any other.
    EXPECT_EQ(
        judged(with_comments("// credcheck-ignore empty-password", ""), {"invalid-suppression"}),
        (std::vector<std::string>{"empty-password 2", "unused-credential 4"}));
}

TEST(Suppressions, SayWhyTheyAcceptNothing) {
    const struct {
        const char* comment;
        std::string message;
    } cases[] = {
        {"credcheck-ignore empty-password",
         "the suppression has no ':' before its reason: write credcheck-ignore RULE: why the "
         "finding is accepted"},
        {"credcheck-ignore :x", "the suppression names no rule"},
        {"credcheck-ignore nope: x",
         "the suppression names 'nope', which is no rule a "
         "suppression can accept"},
        {"credcheck-ignore no-colon:  ", "the suppression gives no reason after its ':'"},
        {"credcheck-ignore no-colon: x (until 2100-02-29)",
         "the suppression's end '2100-02-29' is no day written YYYY-MM-DD"},
        {"credcheck-ignore no-colon, empty-password: x (until 2000-02-29)",
         "the suppression of no-colon and empty-password ended on 2000-02-29: its findings count "
         "again"},
        {"credcheck-ignore no-colon: x",
         "the suppression of no-colon accepts no finding on line 1"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const file_walk walk =
            walk_file(dir.write("credentials.json", std::string("{} // ") + c.comment));
        finding_settings settings;
        settings.today = "2026-06-01";
        settings.ignored = {"permissions"};
        const std::vector<finding> found = find_findings(walk, settings);
        ASSERT_EQ(found.size(), 1U) << c.comment;
        EXPECT_EQ(found[0].message.raw(), c.message);
    }
}

}  // namespace
