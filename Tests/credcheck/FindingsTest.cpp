// What credcheck finds in a credential file, from the parser's own walk: warnings, shadowed
// keys, skipped entries, members that do not bind, parse errors, and --strict's verdict.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "cli/Run.h"
#include "model/Report.h"
#include "render/TerminalWriter.h"

namespace {

using namespace credcheck;
using test_support::TempDir;

// "rule line:column" for each finding, in report order; "rule file" for the file as a whole.
std::vector<std::string> rules_found(const file_report& r) {
    std::vector<std::string> rules;
    for (const finding& f : r.findings) {
        rules.push_back(std::string(f.rule->id) + " " +
                        (f.at.known()
                             ? std::to_string(f.at.line) + ":" + std::to_string(f.at.column)
                             : std::string("file")));
    }
    return rules;
}

// "key: kept <source>; dropped <source> (same|different)..."
std::vector<std::string> shadowing(const file_walk& walk) {
    std::vector<std::string> lines;
    for (const shadowed_key& key : walk.shadowed) {
        const handed_entry& kept = walk.entries[key.entry];
        std::string line = *kept.key + ": kept " + source_name(kept.source);
        for (const entry_source& dropped : key.first_dropped) {
            line += "; dropped " + source_name(dropped) +
                    (source_password(walk, dropped) == *kept.value ? " (same)" : " (different)");
        }
        lines.push_back(line);
    }
    return lines;
}

options for_file(const std::string& path) {
    options opts;
    opts.files = {path};
    return opts;
}

// What is wrong with each member that does not bind.
std::vector<std::string> problems(const file_walk& walk) {
    std::vector<std::string> found;
    for (const member_outcome& member : walk.members) {
        if (member.how == member_outcome::state::unusable) {
            found.push_back(member.problem.raw());
        }
    }
    return found;
}

struct FindingsCase {
    const char* name;
    std::string document;
    std::vector<std::string> rules;  // as rules_found() writes them
    bool strict_fails;
    std::vector<std::string> shadowed = {};  // as shadowing() writes them
    std::vector<std::string> problems = {};  // of the unusable members
};

// Each file is written with one member or element to a line, so that the positions read off it.
const FindingsCase kCases[] = {
    {"Clean",
     "{\n"
     R"(  "connection_credentials": {"a": "u:Pass-1"},)"
     "\n"
     R"(  "target_systems": ["a@10.0.0.1"], "kms_credentials": [], "bmc_credentials": [],)"
     "\n"
     R"(  "privpassword": "", "newpassword": "", "$schema": "credentials.schema.json"})",
     {"empty-password 4:19", "empty-password 4:38"},
     false},
    {"AbsentMembersAreNoFinding",
     R"({"connection_credentials": {"a": "u:Pass-1"}, "target_systems": ["a@10.0.0.1"]})",
     {},
     false},
    {"CredentialWithoutColonEmptyPasswordAndUnused",
     "{\"connection_credentials\": {\n"
     "  \"a\": \"justuser\",\n"
     "  \"b\": \"u:\",\n"
     "  \"c\": \"v:Pass-2\",\n"
     "  \"d\": \"w:Pass-3\",\n"
     "  \"k\": \"x:Pass-4\",\n"
     "  \"m\": \"y:Pass-5\"},\n"
     R"( "target_systems": ["a@10.0.0.1", "b@10.0.0.2", "c@10.0.0.3"],)"
     R"( "kms_credentials": ["k"], "bmc_credentials": ["m"]})",
     {"no-colon 2:8", "empty-password 3:8", "unused-credential 5:3"},
     true},
    {"OverlappingScopesWithDifferentPasswords",
     "{\"connection_credentials\": {\"a\": \"u:Pass-1\", \"b\": \"u:Pass-2\"},\n"
     " \"target_systems\": [\n"
     "  \"a@10.0.0.0/30\",\n"
     "  \"b@10.0.0.2-3\",\n"
     "  \"a@10.0.0.1\"]}",
     {"shadowed-key 4:3", "no-effect 5:3"},
     true,
     {"u@10.0.0.1: kept target_systems[0]; dropped target_systems[2] (same)",
      "u@10.0.0.2: kept target_systems[0]; dropped target_systems[1] (different)"}},
    {"SamePasswordOverlapIsANote",
     "{\"connection_credentials\": {\"a\": \"u:Pass-1\"},\n"
     " \"target_systems\": [\"a@10.0.0.0/30\", \"a@10.0.0.2-5\"]}",
     {"shadowed-key 2:38"},
     false,
     {"u@10.0.0.2: kept target_systems[0]; dropped target_systems[1] (same)"}},
    {"TargetNamedLikeTheBmcKey",
     "{\"connection_credentials\": {\"a\": \"u:Pass-1\", \"b\": \"u:Pass-2\"},\n"
     " \"target_systems\": [\"a@bmc-password\", \"b@kmsid\"],\n"
     " \"bmc_credentials\": [\"b\"], \"kms_credentials\": [\"x\"],\n"
     " \"privpassword\": \"Priv-Pw-7\", \"newpassword\": \"New-Pw-8\"}",
     {"reserved-host 2:21", "reserved-host 2:39", "no-effect 3:22", "unknown-alias 3:48"},
     true,
     {"u@bmc-password: kept target_systems[0]; dropped bmc_credentials[0] (different)"}},
    {"NewPasswordReused",
     "{\"connection_credentials\": {\"a\": \"u:Shared-Pw-1\"},\n"
     " \"target_systems\": [\"a@10.0.0.1\"],\n"
     " \"privpassword\": \"Other-Pw-2\",\n"
     " \"newpassword\": \"Shared-Pw-1\"}",
     {"reused-password 4:17"},
     true},
    {"SkippedEntries",
     "{\"connection_credentials\": {\"a\": \"u:Pass-1\"},\n"
     // Columns count characters: the é is two bytes, one column.
     " \"target_systems\": [\"gh\xc3\xa9st@10.0.0.1\", \"10.0.0.2\", \"a@10.0.0.300\", \"a@\"],\n"
     " \"kms_credentials\": [\"a\", \"ghost\"], \"bmc_credentials\": [\"ghost\"],\n"
     " \"privpassword\": \"Priv-Pw-7\", \"newpassword\": \"New-Pw-8\"}",
     {"unknown-alias 2:21", "unknown-alias 2:39", "rejected-scope 2:51", "rejected-scope 2:67",
      "unknown-alias 3:27", "unknown-alias 3:57"},
     true},
    {"MembersOfTheWrongShape",
     R"({"connection_credentials": {"a": "u:Pass-1", "b/c~": {}}, "target_systems": 5,
         "kms_credentials": ["a", 1], "bmc_credentials": {}, "privpassword": null,
         "newpassword": [true]})",
     {"unusable-member 1:28", "unusable-member 1:77", "unusable-member 2:29",
      "unusable-member 2:58", "unusable-member 2:78", "unusable-member 3:25"},
     true,
     {},
     {"/connection_credentials/b~1c~0 is an object, expected a string (every credential is "
      "ignored)",
      "/target_systems is a number, expected an array of strings",
      "/kms_credentials/1 is a number, expected a string (the whole list is ignored)",
      "/bmc_credentials is an object, expected an array of strings",
      "/privpassword is null, expected a string", "/newpassword is an array, expected a string"}},
    {"NumbersWhereStringsBelong",
     R"({"privpassword": 1, "newpassword": 2})",
     {"unusable-member 1:18", "unusable-member 1:36"},
     true,
     {},
     {"/privpassword is a number, expected a string",
      "/newpassword is a number, expected a string"}},
    {"MembersGivenTwiceAndMisspelled",
     "{\"target_systems\": [\"a@10.0.0.1\", \"a@10.0.0.2\"],\n"
     " \"connection_credentials\": {\"a\": \"u:Old-Pass-1\",\n"
     "                            \"a\": \"u:New-Pass-2\"},\n"
     " \"target_sytems\": [\"a@10.0.0.9\"],\n"
     " \"target_systems\": [\"a@10.0.0.3\"]}",
     {"duplicate-member 1:2", "duplicate-member 2:29", "unknown-member 4:2"},
     true},
    {"PasswordsReusedAndInNames",
     "{\"connection_credentials\": {\n"
     "  \"ops\": \"operator:Shared-Pw-1\",\n"
     "  \"lab\": \"labuser:Shared-Pw-1\",\n"
     "  \"adm\": \"admin:admin\",\n"
     "  \"Inside-Pw-3x\": \"x:Inside-Pw-3\"},\n"
     " \"target_systems\": [\"ops@10.0.0.1\", \"lab@10.0.0.2\", \"adm@10.0.0.3\",\n"
     "                    \"Inside-Pw-3x@Shared-Pw-1.example\"],\n"
     " \"privpassword\": \"Shared-Pw-1\"}",
     {"reused-password 2:10", "password-in-name 4:10", "password-in-name 5:19",
      "password-in-name 7:21"},
     true},
    {"OnePasswordOfTwoCredentialsInTwoScopes",
     "{\"connection_credentials\": {\n"
     "  \"a\": \"x:Alpha-Pw-11\",\n"
     "  \"b\": \"y:Alpha-Pw-11\"},\n"
     " \"target_systems\": [\"a@10.0.0.1\", \"b@10.0.0.2\",\n"
     "                    \"a@Alpha-Pw-11.lab\", \"b@Alpha-Pw-11.lab\"]}",
     {"reused-password 3:8", "password-in-name 5:21", "password-in-name 5:42"},
     true},
    {"PasswordsInOneScopeOncePerPassword",
     "{\"connection_credentials\": {\n"
     "  \"a\": \"x:Alpha-Pw-11\",\n"
     "  \"b\": \"y:Bravo-Pw-22\"},\n"
     " \"target_systems\": [\"a@10.0.0.1\", \"b@10.0.0.2\",\n"
     "                    \"a@Alpha-Pw-11.Bravo-Pw-22.Alpha-Pw-11\"]}",
     {"password-in-name 5:21", "password-in-name 5:21"},
     true},
    {"BlankPaddedAndControlCharacters",
     "{\"connection_credentials\": {\n"
     R"(  "a": ":Pass-1x",)"
     "\n"
     R"(  "b": "  :Pass-2x",)"
     "\n"
     R"(  "c": "ops :Pass-3x",)"
     "\n"
     R"(  "d": "u: Pass-4x",)"
     "\n"
     R"(  "e": "v:Pass\u00005x",)"
     "\n"
     R"(  "f": "w\u007f:Pass-6x"},)"
     "\n"
     R"( "target_systems": ["a@h1", "b@h2", "c@h3", "d@h4", "e@h5", "f@h6"],)"
     "\n"
     R"( "privpassword": "Priv-Pw-7 "})",
     {"blank-user 2:8", "blank-user 3:8", "padded-text 4:8", "padded-text 5:8",
      "control-character 6:8", "control-character 7:8", "padded-text 9:18"},
     true},
    {"OneHostInTwoLetterCases",
     "{\"connection_credentials\": {\"a\": \"u:Pass-1x\", \"b\": \"u:Pass-2x\"},\n"
     " \"target_systems\": [\n"
     "  \"a@web01.lab\", \"b@Web01.lab\", \"b@WEB01.lab\",\n"
     "  \"b@web02.lab\", \"b@WEB02.lab\",\n"
     "  \"a@Db.lab\", \"b@DB.lab\"]}",
     {"host-case 3:18", "host-case 3:33", "host-case 5:3"},
     true},
    {"PasswordsHoldingTheirNamesOrAnothersUser",
     "{\"connection_credentials\": {\n"
     R"(  "ops": "operator:Operator-2024x",)"
     "\n"
     R"(  "lab": "labuser:lab-Pw-9q",)"
     "\n"
     R"(  "webfront": "w:webfront#7Qz",)"
     "\n"
     R"(  "x": "deploy:Pw-Dx-17q",)"
     "\n"
     R"(  "y": "backup:deploy"},)"
     "\n"
     R"( "target_systems": ["ops@h1", "lab@h2", "webfront@h3", "x@h4", "y@h5"]})",
     {"password-in-name 2:10", "password-in-name 4:15", "password-in-name 6:8"},
     true},
};

void PrintTo(const FindingsCase& c, std::ostream* os) {
    *os << c.name;
}

class Findings : public ::testing::TestWithParam<FindingsCase> {};

TEST_P(Findings, ComeFromTheWalkWithTheirPlaces) {
    const FindingsCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("credentials.json", c.document);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const file_report r = build_report(path, for_file(path));

    EXPECT_EQ(rules_found(r), c.rules);
    EXPECT_EQ(shadowing(r.walk), c.shadowed);
    EXPECT_EQ(problems(r.walk), c.problems);
    EXPECT_EQ(has_findings(r), c.strict_fails);
    options strict = for_file(path);
    strict.strict = true;
    EXPECT_EQ(exit_status_for(r, strict), c.strict_fails ? EXIT_FINDINGS : EXIT_CLEAN);
    // No finding, as a report shows it, says a password; one about a password names it to the
    // baseline.
    for (const finding& f : r.findings) {
        const std::string_view id = f.rule->id;
        EXPECT_EQ(f.password.has_value(), f.message.raw().rfind("the password of ", 0) == 0 ||
                                              id == "reused-password" || id == "empty-password" ||
                                              id == "password-in-name")
            << f.message.raw();
        std::ostringstream shown;
        terminal_writer line(shown, *r.mask, false);
        line(f.message).end_line();
        for (const std::string& secret : r.walk.index.secrets) {
            EXPECT_EQ(shown.str().find(secret), std::string::npos) << f.rule->id;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Documents, Findings, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The messages of one rule's findings, in the report's order.
std::vector<std::string> messages_of(const file_report& r, std::string_view rule) {
    std::vector<std::string> messages;
    for (const finding& f : r.findings) {
        if (f.rule->id == rule) {
            messages.push_back(f.message.raw());
        }
    }
    return messages;
}

// The messages of one rule's findings in a file holding `document`, checked with the defaults.
std::vector<std::string> messages_of(const std::string& document, std::string_view rule) {
    TempDir dir;
    const std::string path = dir.write("credentials.json", document);
    return messages_of(build_report(path, for_file(path)), rule);
}

TEST(UnknownMember, SuggestsAMemberTwoEditsAwayAtMost) {
    // A name with its first letter wrong or two letters swapped is two edits away; one that
    // leaves out four letters (or the front of a name), adds three, is much shorter, or is
    // another name is not a typo.
    const std::vector<std::pair<std::string, std::string>> names = {
        {"target_sytems", ": did you mean target_systems?"},
        {"Target_Systems", ": did you mean target_systems?"},
        {"kms_credentails", ": did you mean kms_credentials?"},
        {"Xewpasswor", ": did you mean newpassword?"},
        {"newpass", ""},
        {"password", ""},
        {"ab", ""},
        {"systems", ""},
        {"my_newpassword", ""},
        {"generated_by", ""},
    };
    std::string document = "{";
    for (const auto& [name, suggestion] : names) {
        document += "\"" + name + "\": [],\n";
    }
    document += "\"target_systems\": []}";
    const std::vector<std::string> messages = messages_of(document, "unknown-member");
    ASSERT_EQ(messages.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(messages[i], "'" + names[i].first +
                                   "' is no member of a credential file, and is "
                                   "ignored" +
                                   names[i].second);
    }
}

TEST(DuplicateMember, SaysWhatTheEarlierValueWas) {
    // Each member twice, the earlier value of another shape each time; one member to a line.
    const std::vector<std::pair<std::string, std::string>> members = {
        {R"("privpassword": "Pw-Old-1")", R"("privpassword": "Pw-New-1")"},
        {R"("connection_credentials": {"a": "u:Pw-A", "b": "v:Pw-B"})",
         R"("connection_credentials": {"a": "u:Pw-A"})"},
        {R"("kms_credentials": {"x": 1})", R"("kms_credentials": ["a"])"},
        {R"("bmc_credentials": 7)", R"("bmc_credentials": [])"},
        {R"("newpassword": 5)", R"("newpassword": "")"},
        {R"("target_systems": ["a@10.0.0.1", "a@10.0.0.2"])",
         R"("target_systems": ["a@10.0.0.1"])"},
    };
    const std::vector<std::string> dropped = {
        "a password", "an object of 2 credentials", "an object of 1 member", "a value",
        "a value",    "a list of 2 entries",
    };
    std::string document = "{";
    for (const auto& [earlier, later] : members) {
        document += earlier + ",\n" + later + ",\n";
    }
    document.resize(document.size() - 2);
    document += "}";
    const std::vector<std::string> messages = messages_of(document, "duplicate-member");
    ASSERT_EQ(messages.size(), members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::string name = members[i].first.substr(0, members[i].first.find(':'));
        EXPECT_EQ(messages[i], "'" + name.substr(1, name.size() - 2) + "' is given again at line " +
                                   std::to_string(2 * i + 2) + ":1, which the tool family gets: " +
                                   dropped[i] + " here is dropped");
    }
}

// How many of the held keys had another password, and whose form a reserved host takes.
TEST(FindingMessages, CountDifferentPasswordsAndNameTheReservedForm) {
    TempDir dir;
    const std::string path =
        dir.write("credentials.json",
                  R"({"connection_credentials": {"a": "u:Pw-One-1", "b": "u:Pw-Two-2"},
            "target_systems": ["a@10.0.0.0/30", "b@10.0.0.2-4", "a@10.0.0.1-5", "a@kmsid",
                               "a@bmc-password"]})");
    const file_report r = build_report(path, for_file(path));
    const std::string first = " held already (the first, u@10.0.0.";
    EXPECT_EQ(messages_of(r, "shadowed-key"),
              (std::vector<std::string>{
                  "target_systems[1] 'b@10.0.0.2-4': 1 key it asks for is" + first +
                      "2, by target_systems[0] (line 2:32)), 1 with another password, "
                      "which the earlier entry keeps",
                  "target_systems[2] 'a@10.0.0.1-5': 4 keys it asks for are" + first +
                      "1, by target_systems[0] (line 2:32)), 2 with another password, "
                      "which the earlier entries keep",
              }));
    EXPECT_EQ(messages_of(r, "reserved-host"),
              (std::vector<std::string>{
                  "target_systems[3] 'a@kmsid' hands out a key of the \"@kmsid\" form, which the "
                  "tools read as a KMS credential",
                  "target_systems[4] 'a@bmc-password' hands out a key of the \"@bmc-password\" "
                  "form, which the tools read as a BMC credential",
              }));
}

// Many entries name the target whose scope stands for the most addresses, if one stands for
// several; the records parse writes are shown up to the quiet level unless asked for all.
TEST(ManyEntries, NameTheWidestScopeOnlyWhenOneSpreads) {
    TempDir dir;
    const struct {
        std::string targets;
        std::size_t max_entries;
        std::string message;
    } cases[] = {
        {R"("a@10.0.0.1", "a@10.0.0.2", "a@10.0.0.3")", 2,
         "the file hands out 3 entries, more than the 2 entries --max-entries allows"},
        {R"("a@10.0.0.1", "a@10.0.1.0/30", "a@10.0.0.3")", 2,
         "the file hands out 4 entries, more than the 2 entries --max-entries allows; the most "
         "come from target_systems[1] 'a@10.0.1.0/30' (2 addresses): check its host scopes"},
        // At --max-entries, but a few bytes of scope stand for a network, however much text
        // stands around them.
        {R"("a@10.1.0.0/18", "a@)" + std::string(20'000, 'x') + "\"", 16'383,
         "target_systems[0] 'a@10.1.0.0/18' stands for 16,382 addresses in 11 bytes of host scope "
         "(1489 a byte): check its scope"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.write(
            "credentials.json", std::string(R"({"connection_credentials": {"a": "u:Pw-One-1"}, )") +
                                    R"("target_systems": [)" + c.targets + "]}");
        options opts = for_file(path);
        opts.max_entries = c.max_entries;
        EXPECT_EQ(messages_of(build_report(path, opts), "many-entries"),
                  std::vector<std::string>{c.message})
            << c.targets;
    }
}

// What the rules against slips in names and passwords say, each on the smallest file that shows it.
TEST(FindingMessages, NameTheSlipNeverThePassword) {
    const struct {
        std::string document;
        const char* rule;
        std::string message;
    } cases[] = {
        {R"({"connection_credentials": {"a": " :Pass-1x"}})", "blank-user",
         "credential 'a' has a blank user name: its keys read \" @host\""},
        {R"({"connection_credentials": {"a": "u:Pass-1x "}})", "padded-text",
         "the password of credential 'a' begins or ends with a space"},
        {R"({"connection_credentials": {"a": " u:Pass-1x"}})", "padded-text",
         "the user name of credential 'a' begins or ends with a space"},
        {R"({"connection_credentials": {"a": "u:Pass\u0000x"}})", "control-character",
         "the password of credential 'a' holds a NUL"},
        {R"({"connection_credentials": {"a": "u\t:Pass-1x"}})", "control-character",
         "the user name of credential 'a' holds a control character"},
        {R"({"connection_credentials": {"a": "deploy:Pw-1x", "b": "u:deploy"}})",
         "password-in-name",
         "the password of credential 'b' is the user name of credential 'a', which is masked "
         "where its keys are shown"},
        {R"({"connection_credentials": {"a": "operator:Operator-1x"}})", "password-in-name",
         "the password of credential 'a' holds its user name"},
        {R"({"privpassword": ""})", "empty-password",
         "privpassword is empty, so it is not handed out"},
        {R"({"connection_credentials": {"a": "u:Pw-1x", "b": "u:Pw-2x"},
             "target_systems": ["a@web[1-2].lab", "b@Web[1-2].lab"]})",
         "host-case",
         "target_systems[1] 'b@Web[1-2].lab': its key u@Web1.lab names the host of u@web1.lab (by "
         "target_systems[0], line 2:33) in other letters, with another password; so do 1 more key"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(messages_of(c.document, c.rule), std::vector<std::string>{c.message}) << c.rule;
    }
}

// weak-password knows the entry's user, alias and host-name labels: a password made of one of
// them is weak, where the same shape made of an unknown word is not.
TEST(WeakPassword, KnowsTheEntrysOwnNames) {
    TempDir dir;
    const std::string path = dir.write("credentials.json", R"({"connection_credentials": {
        "zorblax": "u1:zorblax2024", "k2": "u2:quintrex2024", "k3": "u3:vexmora2024"},
        "target_systems": ["zorblax@10.0.0.1", "k2@quintrex.lab", "k3@10.0.0.3"]})");
    options opts = for_file(path);
    opts.strict = true;
    const std::vector<std::string> weak = messages_of(build_report(path, opts), "weak-password");
    ASSERT_EQ(weak.size(), 2U);
    EXPECT_NE(weak[0].find("'zorblax' is weak"), std::string::npos) << weak[0];
    EXPECT_NE(weak[1].find("'k2' is weak"), std::string::npos) << weak[1];
    for (const std::string& message : weak) {
        EXPECT_NE(message.find("the entry's own names"), std::string::npos) << message;
    }
}

// No password is too long to judge: a long one of one letter is weak, a long varied one is not.
TEST(WeakPassword, JudgesAPasswordOfAnyLength) {
    std::string varied;
    for (std::size_t i = 0; varied.size() < 100'000; ++i) {
        varied += std::to_string(i * 2654435761U % 1000003) + "-Kq";
    }
    TempDir dir;
    const std::string path =
        dir.write("credentials.json", R"({"connection_credentials": {"a": "u:)" + varied +
                                          R"(", "b": "v:)" + std::string(100'000, 'a') + R"("}})");
    options opts = for_file(path);
    opts.strict = true;
    const std::vector<std::string> weak = messages_of(build_report(path, opts), "weak-password");
    ASSERT_EQ(weak.size(), 1U);
    EXPECT_NE(weak[0].find("'b' is weak"), std::string::npos) << weak[0];
}

// A file of many passwords is judged in two halves at once: each half's weak one is found, and
// named by its own credential.
TEST(WeakPassword, JudgesEveryPasswordOfAManyPasswordFile) {
    std::string document = R"({"connection_credentials": {)";
    constexpr int COUNT = 4'001;
    for (int i = 0; i < COUNT; ++i) {
        const std::string password =
            i == 1 || i == COUNT - 2 ? "password1" : "Qz7!" + std::to_string(i * 7919) + "-vK#m";
        document += (i == 0 ? "" : ",") + std::string("\"c") + std::to_string(i) + "\": \"u" +
                    std::to_string(i) + ":" + password + "\"";
    }
    document += "}}";
    TempDir dir;
    const std::string path = dir.write("credentials.json", document);
    options opts = for_file(path);
    opts.strict = true;
    const std::vector<std::string> weak = messages_of(build_report(path, opts), "weak-password");
    ASSERT_EQ(weak.size(), 2U);
    EXPECT_EQ(weak[0].substr(0, 32), "the password of credential 'c1' ");
    EXPECT_EQ(weak[1].substr(0, 35), "the password of credential 'c3999' ");
}

TEST(LogRecords, ShownUpToTheQuietLevelUnlessVerbose) {
    const auto levels_shown = [](bool verbose) {
        file_walk walk;
        for (unsigned level = 1; level <= 5; ++level) {
            walk.records.push_back({level, "PlainTextFileParser.cpp", 1, "record"});
        }
        options opts;
        opts.verbose = verbose;
        std::vector<unsigned> levels;
        for (const Kelvor::LogRecord& record :
             build_report(std::move(walk), settings_of(opts),
                          std::make_shared<const secret_mask>(mask_for(walk, false)))
                 .records) {
            levels.push_back(record.level);
        }
        return levels;
    };
    EXPECT_EQ(levels_shown(false), (std::vector<unsigned>{1, 2, 3}));
    EXPECT_EQ(levels_shown(true), (std::vector<unsigned>{1, 2, 3, 4, 5}));
}

struct DocumentCase {
    const char* name;
    std::string text;
    std::string message;
    std::size_t line;
    std::size_t column;
};

const DocumentCase kBrokenDocuments[] = {
    {"Empty", "", "the file is empty", 1, 1},
    {"OnlyAComment", "// nothing\n", "the document ends before it is complete", 2, 1},
    {"TrailingComma", "{\n  \"target_systems\": [\"a\",]\n}", "syntax error", 2, 26},
    {"ByteOrderMark", "\xef\xbb\xbf{}",
     "the file starts with a byte-order mark, which a "
     "credential file may not have",
     1, 1},
    {"TextAfterTheDocument", "{} {}", "there is more text after the end of the document", 1, 4},
    {"InvalidUtf8", "{\"privpassword\": \"\xc3\xa9\x80\"}",
     "syntax error (the text is not valid UTF-8 here)", 1, 20},
    {"DeleteIsNoUtf8Error", "{\x7f}", "syntax error", 1, 2},
    {"TooDeep", std::string(33, '[') + std::string(33, ']'),
     "the document is nested more than 32 levels deep", 1, 33},
};

class BrokenDocument : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(BrokenDocument, SaysWhereAndWhyInPlainWords) {
    const DocumentCase& c = GetParam();
    TempDir dir;
    const file_walk walk = walk_file(dir.write("credentials.json", c.text));
    ASSERT_TRUE(walk.document_error.has_value());
    EXPECT_EQ(walk.document_error->message, c.message);
    EXPECT_EQ(walk.document_error->at.line, c.line);
    EXPECT_EQ(walk.document_error->at.column, c.column);
    EXPECT_EQ(walk.result.code, RESULT_INVALID_FILE);
    for (const member_outcome& member : walk.members) {
        EXPECT_EQ(member.how, member_outcome::state::not_reached);
    }
}

INSTANTIATE_TEST_SUITE_P(Documents, BrokenDocument, ::testing::ValuesIn(kBrokenDocuments),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileWalk, KnowsEveryPasswordOfTheDocumentEvenWhenItsMemberDoesNotBind) {
    TempDir dir;
    const file_walk walk = walk_file(dir.write(
        "credentials.json",
        R"({"connection_credentials": {"a": "u:Pass-1:x", "b": 7, "c": "nocolon", "d": "v:"},
            "privpassword": "Priv-1", "newpassword": 3})"));
    std::vector<std::string> secrets = walk.index.secrets;
    std::sort(secrets.begin(), secrets.end());
    EXPECT_EQ(secrets, (std::vector<std::string>{"Pass-1:x", "Priv-1"}));
    EXPECT_TRUE(walk.record.connection_credentials.empty());
}

TEST(FileWalk, KeepsEveryPasswordHoweverManyTheDocumentGives) {
    // Short passwords stand in their strings, long ones apart: the list outgrows its storage
    // several times over both kinds.
    std::vector<std::string> given;
    std::string document = R"({"connection_credentials": {)";
    for (std::size_t i = 0; i < 70; ++i) {
        given.push_back("Pw-" + std::to_string(i) + std::string(i % 3 == 0 ? 20 : 0, 'x'));
        document += (i == 0 ? "" : ", ") + std::string("\"a") + std::to_string(i) +
                    "\": \"u:" + given.back() + "\"";
    }
    document += "}}";
    TempDir dir;
    const file_walk walk = walk_file(dir.write("credentials.json", document));
    EXPECT_EQ(walk.index.secrets, given);
}

TEST(FileWalk, EachEntryKnowsItsSource) {
    TempDir dir;
    const file_walk walk =
        walk_file(dir.write("credentials.json",
                            R"({"connection_credentials": {"a": "u:p", "b": "v:q"},
            "target_systems": ["b@h1.example", "a@10.0.0.1-2"], "kms_credentials": ["a"],
            "bmc_credentials": ["b"], "privpassword": "P"})"));
    std::vector<std::string> sources;
    for (const handed_entry& entry : walk.entries) {
        sources.push_back(*entry.key + " " + source_name(entry.source) + " " +
                          std::string(source_entry(walk, entry.source)));
    }
    EXPECT_EQ(sources, (std::vector<std::string>{
                           "privpassword privpassword ",
                           "u@10.0.0.1 target_systems[1] a@10.0.0.1-2",
                           "u@10.0.0.2 target_systems[1] a@10.0.0.1-2",
                           "u@kmsid kms_credentials[0] a",
                           "v@bmc-password bmc_credentials[0] b",
                           "v@h1.example target_systems[0] b@h1.example",
                       }));
    EXPECT_EQ(walk.expanded, (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(source_entry(walk, {member_id::target_systems, 2}), "");  // no such entry
}

TEST(Warnings, FileOwnedByAnotherUser) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a file away";
    }
    TempDir dir;
    const std::string path = dir.write("credentials.json", R"({"privpassword": "P"})");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_TRUE(build_report(path, for_file(path)).findings.empty());
    ASSERT_EQ(::chown(path.c_str(), 4242, 4242), 0);
    const file_report r = build_report(path, for_file(path));
    EXPECT_EQ(rules_found(r), (std::vector<std::string>{"owner file"}));
    EXPECT_NE(r.findings[0].message.raw().find("user ID 4242"), std::string::npos);
}

// Neither a file of root's nor one of the caller's is worth the owner warning.
TEST(Warnings, FileOwnedByRootOrByTheCaller) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    TempDir dir;
    const std::string path = dir.write("credentials.json", R"({"privpassword": "P"})");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    const auto owner_warned = [&] {
        const std::vector<std::string> rules = rules_found(build_report(path, for_file(path)));
        return std::find(rules.begin(), rules.end(), "owner file") != rules.end();
    };
    ASSERT_EQ(::seteuid(4242), 0);
    const bool of_root = owner_warned();
    ASSERT_EQ(::seteuid(0), 0);
    ASSERT_EQ(::chown(path.c_str(), 4242, 4242), 0);
    ASSERT_EQ(::seteuid(4242), 0);
    const bool of_caller = owner_warned();
    ASSERT_EQ(::seteuid(0), 0);
    EXPECT_FALSE(of_root);
    EXPECT_FALSE(of_caller);
}

// --host finds a host's keys byte for byte, as the tools look them up; an address may be written
// as any scope of one address. Keys that differ only in letter case are told apart.
TEST(HostFilter, MatchesTheKeysOfOneHostAsTheToolsLookThemUp) {
    TempDir dir;
    const std::string path = dir.write("credentials.json",
                                       R"({"connection_credentials": {"a": "u:p", "b": "v:q"},
            "target_systems": ["a@[FD00::0:1]", "b@fd00::1", "a@Bmc1.Lab", "a@10.0.0.1",
                               "b@bmc1.lab"]})");
    const struct {
        const char* host;
        std::vector<std::string> keys;
        std::vector<std::string> variants;
    } cases[] = {
        {"[FD00:0::1]", {"u@fd00::1", "v@fd00::1"}, {}},
        {"Bmc1.Lab", {"u@Bmc1.Lab"}, {"v@bmc1.lab"}},
        {"BMC1.LAB", {}, {"u@Bmc1.Lab", "v@bmc1.lab"}},
        {"10.0.0.1", {"u@10.0.0.1"}, {}},
        {"10.0.0.2", {}, {}},
    };
    const auto keys_of = [](const std::vector<const handed_entry*>& entries) {
        std::vector<std::string> keys;
        for (const handed_entry* entry : entries) {
            keys.push_back(*entry->key);
        }
        return keys;
    };
    for (const auto& c : cases) {
        options opts = for_file(path);
        opts.host = c.host;
        const file_report r = build_report(path, opts);
        EXPECT_EQ(keys_of(shown_entries(r)), c.keys) << c.host;
        EXPECT_EQ(keys_of(case_variants(r)), c.variants) << c.host;
        EXPECT_EQ(exit_status_for(r, opts), c.keys.empty() ? EXIT_FINDINGS : EXIT_CLEAN) << c.host;
    }
}

TEST(Grouped, PutsCommasBetweenThousands) {
    const std::pair<std::size_t, const char*> cases[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {123456, "123,456"}, {1234567, "1,234,567"}};
    for (const auto& [count, text] : cases) {
        EXPECT_EQ(grouped(count), text);
    }
}

}  // namespace

namespace {

// The help of parse-error states the nesting limit in words: it must be the parser's.
TEST(Rules, ParseErrorHelpStatesTheParsersDepthLimit) {
    const std::string limit =
        "at most " + std::to_string(credential_parse_options().max_depth) + " levels";
    EXPECT_NE(info_of(credcheck::rule::parse_error).help.find(limit), std::string_view::npos);
}

}  // namespace
