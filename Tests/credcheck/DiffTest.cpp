// credcheck --diff: what a change to a credential file does to the map the tools receive.

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/json/parse.hpp>

#include "TestSupport.h"
#include "render/DiffReport.h"
#include "walk/Diff.h"

namespace {

using namespace credcheck;
using test_support::TempDir;

// "kind key old-source -> new-source" for each change.
std::vector<std::string> described(const file_diff& diff) {
    std::vector<std::string> lines;
    for (const key_change& change : diff.changes) {
        std::string line = std::string(kind_name(change.what)) + " " + *change.key;
        line += " " + (change.before ? source_name(change.before->source) : std::string("-"));
        line += " -> " + (change.after ? source_name(change.after->source) : std::string("-"));
        lines.push_back(line);
    }
    return lines;
}

struct DiffCase {
    const char* name;
    std::string before;
    std::string after;
    std::vector<std::string> changes;
    bool maps_differ;
};

const char* const kCredentials = R"("connection_credentials": {"a": "u:Pw-1", "b": "u:Pw-2"})";

std::string document(const std::string& members) {
    return "{" + std::string(kCredentials) + ", " + members + "}";
}

const DiffCase kCases[] = {
    {"SameFile",
     document(R"("target_systems": ["a@10.0.0.1"])"),
     document(R"("target_systems": ["a@10.0.0.1"])"),
     {},
     false},
    {"EntryMovedInItsListChangesNothing",
     document(R"("target_systems": ["a@10.0.0.1", "b@h.example"])"),
     document(R"("target_systems": ["b@h.example", "a@10.0.0.1"])"),
     {},
     false},
    {"RangeWidened",
     document(R"("target_systems": ["a@10.0.0.1-2"])"),
     document(R"("target_systems": ["a@10.0.0.1-3"])"),
     {"moved u@10.0.0.1 target_systems[0] -> target_systems[0]",
      "moved u@10.0.0.2 target_systems[0] -> target_systems[0]",
      "added u@10.0.0.3 - -> target_systems[0]"},
     true},
    {"AliasRenamedInTheCredentialsOnly",
     document(R"("target_systems": ["a@10.0.0.1", "b@10.0.0.2"])"),
     R"({"connection_credentials": {"a2": "u:Pw-1", "b": "u:Pw-2"},
         "target_systems": ["a@10.0.0.1", "b@10.0.0.2"]})",
     {"removed u@10.0.0.1 target_systems[0] -> -"},
     true},
    {"PasswordChanged",
     document(R"("kms_credentials": ["a"])"),
     R"({"connection_credentials": {"a": "u:Pw-9"}, "kms_credentials": ["a"]})",
     {"changed u@kmsid kms_credentials[0] -> kms_credentials[0]"},
     true},
    {"ReorderedTargetsHandAShadowedKeyOver",
     document(R"("target_systems": ["a@10.0.0.0/30", "b@10.0.0.2", "a@10.0.0.9", "a@h"],
                 "bmc_credentials": ["a"])"),
     document(R"("target_systems": ["b@10.0.0.2", "a@10.0.0.0/30", "a@h", "a@10.0.0.9"],
                 "bmc_credentials": ["a"])"),
     {"changed u@10.0.0.2 target_systems[0] -> target_systems[0]"},
     true},
    {"SamePasswordFromAnotherEntry",
     R"({"connection_credentials": {"a": "u:Pw-1", "c": "u:Pw-1"}, "target_systems": ["a@h"]})",
     R"({"connection_credentials": {"a": "u:Pw-1", "c": "u:Pw-1"}, "target_systems": ["c@h"]})",
     {"moved u@h target_systems[0] -> target_systems[0]"},
     false},
    {"NewFileDoesNotParse",
     document(R"("privpassword": "P")"),
     "{",
     {"removed privpassword privpassword -> -"},
     true},
};

void PrintTo(const DiffCase& c, std::ostream* os) {
    *os << c.name;
}

class Diff : public ::testing::TestWithParam<DiffCase> {};

TEST_P(Diff, ListsEveryKeyThatDiffers) {
    const DiffCase& c = GetParam();
    TempDir dir;
    const file_diff diff = diff_walks(walk_file(dir.write("old.json", c.before)),
                                      walk_file(dir.write("new.json", c.after)));
    EXPECT_EQ(described(diff), c.changes);
    EXPECT_EQ(diff.maps_differ(), c.maps_differ);
}

INSTANTIATE_TEST_SUITE_P(Changes, Diff, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<std::string> human_lines(const file_diff& diff, bool reveal) {
    std::ostringstream out;
    write_human_diff(out, diff, secret_mask({"Pw-Old-1", "Pw-New-2"}), reveal, false);
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Consecutive keys of one entry that change alike are one line, across an octet too; keys of two
// entries never are.
TEST(DiffReport, FoldsConsecutiveAddressesThatChangeAlike) {
    TempDir dir;
    const file_diff diff = diff_walks(
        walk_file(dir.write("old.json", R"({"connection_credentials": {"a": "u:Pw-Old-1"},
            "target_systems": ["a@10.0.0.250-255", "a@n[8-9].lab"]})")),
        walk_file(dir.write("new.json", R"({"connection_credentials": {"a": "u:Pw-New-2"},
            "target_systems": ["a@10.0.0.250-10.0.1.5", "a@10.0.9.9", "a@n[8-11].lab",
                               "a@10.0.1.7", "a@10.0.1.6"]})")));
    const std::vector<std::string> lines = human_lines(diff, false);
    const std::vector<std::string> expected = {
        "Added (11 keys)",
        "  u@10.0.1.0 \xe2\x80\xa6 u@10.0.1.5 (6 keys) added: target_systems[0] "
        "'a@10.0.0.250-10.0.1.5'",
        "  u@10.0.1.6 added: target_systems[4] 'a@10.0.1.6'",
        "  u@10.0.1.7 added: target_systems[3] 'a@10.0.1.7'",
        "  u@10.0.9.9 added: target_systems[1] 'a@10.0.9.9'",
        "  u@n10.lab \xe2\x80\xa6 u@n11.lab (2 keys) added: target_systems[2] 'a@n[8-11].lab'",
        "",
        "Password changed (8 keys)",
        "  u@10.0.0.250 \xe2\x80\xa6 u@10.0.0.255 (6 keys) password changed: target_systems[0] "
        "'a@10.0.0.250-255' -> target_systems[0] 'a@10.0.0.250-10.0.1.5'",
        "  u@n8.lab \xe2\x80\xa6 u@n9.lab (2 keys) password changed: target_systems[1] "
        "'a@n[8-9].lab' -> target_systems[2] 'a@n[8-11].lab'",
    };
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[4],
              "  8 keys before, 19 after: 11 added, 0 removed, 8 with another "
              "password, 0 from another entry");
    const std::vector<std::string> body(lines.begin() + 6, lines.end());
    EXPECT_EQ(body, expected);
    std::size_t revealed = 0;
    for (const std::string& line : human_lines(diff, true)) {
        if (line.rfind("  u@10.0.0.250 ", 0) == 0) {
            EXPECT_NE(line.find("(6 keys) password changed: target_systems[0] 'a@10.0.0.250-255' "
                                "'********' -> "),
                      std::string::npos)
                << line;
            ++revealed;
        }
    }
    EXPECT_EQ(revealed, 1u);
}

boost::json::value json_of(const file_diff& diff, bool reveal) {
    std::ostringstream out;
    write_json_diff(out, diff,
                    secret_mask(reveal ? std::vector<std::string>{}
                                       : std::vector<std::string>{"Pw-Old-1", "Pw-New-2"}),
                    reveal, false);
    return boost::json::parse(out.str());
}

TEST(DiffReport, JsonListsEveryKeyAndMasksPasswords) {
    TempDir dir;
    const file_diff diff = diff_walks(
        walk_file(dir.write("old.json", R"({"connection_credentials": {"a": "u:Pw-Old-1"},
            "target_systems": ["a@10.0.0.1"]})")),
        walk_file(dir.write("new.json", R"({"connection_credentials": {"a": "u:Pw-New-2"},
            "target_systems": ["a@10.0.0.1-3"]})")));
    const boost::json::value json = json_of(diff, false);
    EXPECT_EQ(json.at("added").as_array().size(), 2u);
    EXPECT_EQ(json.at("changed").as_array().size(), 1u);
    EXPECT_EQ(json.at("summary").at("added").as_int64(), 2);
    EXPECT_FALSE(json.at("same_maps").as_bool());
    const auto& changed = json.at("changed").as_array()[0];
    EXPECT_EQ(changed.at("old").at("value").as_string(), "********");
    const auto& source =
        json.at("sources").at("new").at(changed.at("new").at("source").to_number<std::size_t>());
    EXPECT_EQ(source.at("entry").as_string(), "a@10.0.0.1-3");
    EXPECT_EQ(source.at("line").as_int64(), 2);
    EXPECT_EQ(json_of(diff, true).at("changed").as_array()[0].at("new").at("value").as_string(),
              "Pw-New-2");
}

}  // namespace
