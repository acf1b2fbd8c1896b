// What credcheck shows of hostile text: escaped for the terminal, valid JSON, and no secret of
// the file anywhere.

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/json/parse.hpp>

#include "render/TerminalWriter.h"
#include "text/ReportText.h"
#include "text/SafeText.h"
#include "text/SecretMask.h"

namespace {

using namespace credcheck;

// What the terminal shows is the logging stand-in's escape, tested with it; JSON keeps the text,
// escaping what JSON must and replacing what is no UTF-8.
struct TextCase {
    const char* name;
    std::string raw;
    std::string json;  // as json_quoted writes it, quotes included
};

const TextCase kTexts[] = {
    {"Plain", "admin@10.0.0.7", "\"admin@10.0.0.7\""},
    {"LineEndsAndTab", "a\nb\r\tc", "\"a\\nb\\r\\tc\""},
    {"BackspaceAndFormFeed", "a\bb\fc", "\"a\\bb\\fc\""},
    {"WindowTitle", "\x1b]0;x\x07", "\"\\u001b]0;x\\u0007\""},
    {"Nul", std::string("a\0b", 3), "\"a\\u0000b\""},
    {"Delete", "\x7f", "\"\\u007f\""},
    {"Backslash", "a\\x1b", "\"a\\\\x1b\""},
    {"Quote", "say \"hi\"", "\"say \\\"hi\\\"\""},
    {"ValidUtf8Stays", "caf\xc3\xa9 \xf0\x9f\x94\x91", "\"caf\xc3\xa9 \xf0\x9f\x94\x91\""},
    {"C1Control", "\xc2\x85\xc2\x9b", "\"\\u0085\\u009b\""},
    {"BidiOverride", "abc\xe2\x80\xae", "\"abc\\u202e\""},
    {"TagCharacter", "\xf3\xa0\x80\x81", "\"\\udb40\\udc01\""},
    {"RunOfSpacesStays", "u      x", "\"u      x\""},
    {"InvalidByte", "a\xff", "\"a\xef\xbf\xbd\""},
    {"TruncatedSequence", "a\xc3", "\"a\xef\xbf\xbd\""},
    {"Overlong", "\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
    {"Surrogate", "\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
    {"AboveUnicode", "\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
};

class SafeText : public ::testing::TestWithParam<TextCase> {};

TEST_P(SafeText, QuotesForJson) {
    const TextCase& c = GetParam();
    EXPECT_EQ(json_quoted(c.raw), c.json);
    // Whatever went in, the JSON is valid and strict parsing gives a string back.
    boost::system::error_code error;
    const boost::json::value parsed = boost::json::parse(json_quoted(c.raw), error);
    ASSERT_FALSE(error) << error.message();
    EXPECT_TRUE(parsed.is_string());
}

INSTANTIATE_TEST_SUITE_P(Texts, SafeText, ::testing::ValuesIn(kTexts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SafeTextWidth, CountsColumnsNotBytes) {
    EXPECT_EQ(terminal_width(terminal_text("caf\xc3\xa9")), 4u);
    EXPECT_EQ(terminal_width(terminal_text("\x1b")), 4u);                      // \x1b
    EXPECT_EQ(terminal_width(terminal_text("\xe7\xae\xa1\xe7\x90\x86")), 4u);  // two wide
    EXPECT_EQ(terminal_width("\xff"), 1u);
}

struct MaskCase {
    const char* name;
    std::vector<std::string> secrets;
    std::string text;
    std::string masked;
};

const MaskCase kMasks[] = {
    {"NoSecrets", {}, "Secret-1", "Secret-1"},
    {"Inside", {"Secret-1"}, "ops:Secret-1@10.0.0.5", "ops:********@10.0.0.5"},
    {"Everywhere", {"Secret-1"}, "Secret-1 Secret-1", "******** ********"},
    {"OverlappingBecomeOne", {"abcdef", "defghi"}, "xabcdefghiy", "x********y"},
    {"TouchingBecomeOne", {"Secret"}, "SecretSecret", "********"},
    {"LongerReachesBackOverShorter", {"cdef", "efgh", "abcdefghij"}, "abcdefghij!", "********!"},
    {"SuffixOfAnother", {"wordpass", "pass"}, "a pass and a wordpass", "a ******** and a ********"},
    {"ShortSecretsLeftAlone", {"abc", "root"}, "abc root", "abc ********"},
    {"BytesNotCharacters", {"p\xc3\xa4ss"}, "x p\xc3\xa4ss y", "x ******** y"},
    {"ManySharingPrefixes", {"aaaa", "aaab", "aaba", "abaa"}, "aaabaa", "********"},
};

class Masking : public ::testing::TestWithParam<MaskCase> {};

TEST_P(Masking, ReplacesEveryOccurrence) {
    const MaskCase& c = GetParam();
    EXPECT_EQ(secret_mask(c.secrets).apply(c.text), c.masked);
}

INSTANTIATE_TEST_SUITE_P(Texts, Masking, ::testing::ValuesIn(kMasks),
                         [](const auto& info) { return std::string(info.param.name); });

// Every byte range that some secret of MIN_MASKED_LENGTH bytes or more covers, by trying each
// secret at each place, with overlapping and touching ranges merged.
std::vector<secret_mask::span> covered_by(const std::vector<std::string>& secrets,
                                          const std::string& text) {
    std::vector<bool> covered(text.size() + 1, false);
    std::vector<bool> starts(text.size() + 1, false);
    std::vector<std::size_t> reach(text.size() + 1, 0);
    for (std::size_t at = 0; at < text.size(); ++at) {
        for (const std::string& secret : secrets) {
            if (secret.size() >= MIN_MASKED_LENGTH &&
                text.compare(at, secret.size(), secret) == 0) {
                reach[at] = std::max(reach[at], at + secret.size());
            }
        }
    }
    std::vector<secret_mask::span> spans;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (reach[at] == 0) {
            continue;
        }
        if (!spans.empty() && at <= spans.back().second) {
            spans.back().second = std::max(spans.back().second, reach[at]);
        } else {
            spans.emplace_back(at, reach[at]);
        }
    }
    return spans;
}

TEST(Masking, FindsWhatTryingEverySecretEverywhereFinds) {
    // Few letters, so that secrets overlap, share heads and prefixes and stand in one another;
    // lengths across several classes, and at times many secrets in one class.
    std::mt19937 random(20261206);
    const auto text_of = [&](std::size_t length) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) {
            text += "ab@."[random() % 4];
        }
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> secrets;
        const std::size_t count = 1 + random() % 40;
        for (std::size_t i = 0; i < count; ++i) {
            secrets.push_back(text_of(2 + random() % 40));
        }
        const secret_mask mask(secrets);
        for (int t = 0; t < 10; ++t) {
            std::string text = text_of(random() % 120);
            if (random() % 2 == 0) {
                const std::string& secret = secrets[random() % secrets.size()];
                text.insert(random() % (text.size() + 1), secret);
            }
            ASSERT_EQ(mask.find(text), covered_by(secrets, text)) << "round " << round;
        }
    }
}

// One line put together from pieces of each origin.
struct Piece {
    std::string text;
    origin from;
    style look;
};

std::string written(const secret_mask& mask, bool colour, const std::vector<Piece>& pieces) {
    std::ostringstream out;
    terminal_writer line(out, mask, colour);
    for (const Piece& piece : pieces) {
        switch (piece.from) {
            case origin::own:
                line(piece.text, piece.look);
                break;
            case origin::file:
                line.file(piece.text, piece.look);
                break;
            case origin::key:
                line.key(piece.text, piece.look);
                break;
        }
    }
    line.end_line();
    return out.str();
}

TEST(TerminalWriter, MasksTheFilesTextNeverTheToolsWordsNorKeys) {
    const secret_mask mask({"Secret-9", "\\x1b[2J", "Entries", "10.0.0.1", "sa"});
    const struct {
        const char* name;
        std::vector<Piece> pieces;
        bool colour;
        std::string line;
    } cases[] = {
        {"a secret in the file's text",
         {{"key Secret-9 end", origin::file, style::plain}},
         false,
         "key ******** end\n"},
        {"an escape can spell a secret the raw text does not hold",
         {{"a\x1b[2Jb", origin::file, style::plain}},
         false,
         "a********b\n"},
        {"the tool's own words stay whole, whatever the passwords",
         {{"Entries (2)", origin::own, style::heading}},
         false,
         "Entries (2)\n"},
        {"a key's user stays whole, its host is masked",
         {{"Entries-x@10.0.0.1\n", origin::key, style::plain}},
         false,
         "Entries-x@********\\n\n"},
        {"a user that is a password is masked, however short",
         {{"sa@10.0.0.1", origin::key, style::plain}},
         false,
         "********@********\n"},
        {"colours go around what is shown, after masking and escaping",
         {{"ok ", origin::own, style::plain}, {"\x1b[31m", origin::file, style::good}},
         true,
         "ok \x1b[32m\\x1b[31m\x1b[0m\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(written(mask, c.colour, c.pieces), c.line) << c.name;
    }
}

TEST(TerminalWriter, PadsToAColumnButNeverLessThanTheMinimum) {
    const secret_mask mask({"    "});
    std::ostringstream out;
    terminal_writer line(out, mask, false);
    line("ab").pad_to(5)("|").end_line();
    line("abcdefgh").pad_to(5, 2)("|").end_line();
    line.file("\n").pad_to(5)("|").end_line();           // "\n" is two columns wide once escaped
    line.key("\xe7\xae\xa1").pad_to(5)("|").end_line();  // a wide character takes two
    EXPECT_EQ(out.str(), "ab   |\nabcdefgh  |\n\\n   |\n\xe7\xae\xa1   |\n");
}

}  // namespace
