// Baselines: which findings an entry accepts, what an entry that accepts nothing says, and how a
// rewrite keeps what people wrote into it.

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/Baseline.h"

namespace {

using namespace credcheck;

const fingerprint_key KEY = fingerprint_key::from_hex(std::string(64, '7'));

finding weak(std::string subject, std::string_view password) {
    const rule_info& info = info_of(rule::weak_password);
    return {&info,        info.level,   report_text("weak"),
            {},           std::nullopt, std::move(subject),
            std::nullopt, password,     {}};
}

// "rule accepted-or-not" for each finding after `entries` judged `findings` of prod.json.
std::vector<std::string> judged(std::vector<baseline_entry> entries, std::vector<finding> findings,
                                const fingerprint_key* key = &KEY) {
    baseline accepted(std::move(entries));
    finding_settings settings;
    settings.today = "2026-06-01";
    accepted.apply("prod.json", findings, secret_mask(), key, settings);
    std::vector<std::string> said;
    for (const finding& f : findings) {
        said.push_back(std::string(f.rule->id) + (f.accepted ? " accepted" : ""));
    }
    return said;
}

TEST(Baseline, AcceptsByRuleFileSubjectAndDigest) {
    const std::string digest = KEY.digest("password1");
    const auto entry = [&](std::string subject, std::string with, std::string until = "",
                           std::string file = "prod.json") {
        return baseline_entry{
            "weak-password", std::move(file), std::move(subject), std::move(with), "",
            std::move(until)};
    };
    const std::vector<std::string> accepted = {"weak-password accepted"};
    const std::vector<std::string> unused = {"unused-suppression", "weak-password"};
    EXPECT_EQ(judged({entry("a", digest)}, {weak("a", "password1")}), accepted);
    EXPECT_EQ(judged({entry("a", "")}, {weak("a", "dragon123")}), accepted);
    EXPECT_EQ(judged({entry("a", digest)}, {weak("a", "dragon123")}), unused);
    EXPECT_EQ(judged({entry("a", digest)}, {weak("a", "password1")}, nullptr), unused);
    EXPECT_EQ(judged({entry("b", digest)}, {weak("a", "password1")}), unused);
    EXPECT_EQ(judged({entry("a", digest, "2026-06-01")}, {weak("a", "password1")}), accepted);
    EXPECT_EQ(judged({entry("a", digest, "2026-05-31")}, {weak("a", "password1")}),
              (std::vector<std::string>{"expired-suppression", "weak-password"}));
    // An entry of another file is no concern of this one; one entry accepts one finding.
    EXPECT_EQ(judged({entry("a", digest, "", "staging.json")}, {weak("a", "password1")}),
              (std::vector<std::string>{"weak-password"}));
    EXPECT_EQ(judged({entry("a", digest)}, {weak("a", "password1"), weak("a", "password1")}),
              (std::vector<std::string>{"weak-password accepted", "weak-password"}));
}

// What an entry that accepts nothing says, at the file: ended, or unused (and why, without a key).
TEST(Baseline, SaysWhyAnEntryAcceptsNothing) {
    const auto said = [](std::string until, const fingerprint_key* key) {
        baseline accepted({{"weak-password", "prod.json", "credential 'a'\nx", "0a", "", until}});
        std::vector<finding> findings;
        finding_settings settings;
        settings.today = "2026-06-01";
        accepted.apply("prod.json", findings, secret_mask(), key, settings);
        return findings.size() == 1 ? findings[0].message.raw() : std::string();
    };
    const std::string entry = "the baseline's entry of weak-password for \"credential 'a' / x\"";
    EXPECT_EQ(said("2026-05-31", &KEY), entry + " ended on 2026-05-31: its findings count again");
    EXPECT_EQ(said("", &KEY), entry + " accepts no finding");
    EXPECT_EQ(said("", nullptr), entry +
                                     " accepts no finding (it holds a password's digest: give "
                                     "the key it was written with)");
}

TEST(Baseline, RewritesKeepReasonsAndOtherFilesInOneOrder) {
    const baseline earlier({{"weak-password", "prod.json", "a", "", "lab box", "2027-01-01"},
                            {"weak-password", "staging.json", "b", "", "", ""}});
    const baseline_entry entry =
        earlier.entry_for("prod.json", weak("a", "password1"), secret_mask(), &KEY);
    EXPECT_EQ(entry.digest, KEY.digest("password1"));
    EXPECT_EQ(entry.reason + " " + entry.until, "lab box 2027-01-01");
    const std::vector<baseline_entry> kept = earlier.entries_outside({"prod.json"});
    ASSERT_EQ(kept.size(), 1U);
    EXPECT_EQ(kept[0].file, "staging.json");
    // Written in one order whatever the order given.
    std::ostringstream forward;
    std::ostringstream backward;
    write_baseline(forward, {entry, kept[0]});
    write_baseline(backward, {kept[0], entry});
    EXPECT_EQ(forward.str(), backward.str());
    EXPECT_LT(forward.str().find("prod.json"), forward.str().find("staging.json"));
}

}  // namespace
