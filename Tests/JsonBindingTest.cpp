// The binding of credential documents: which texts bind, and what each member binds to.

#include <new>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>

#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/detail/DocumentBinding.h>
#include <PlainTextFileParser/detail/InputFileStream.h>

#include "TestSupport.h"

// Failed expectations show the record field by field.
void PrintTo(const plain_text_info& info, std::ostream* os) {
    *os << "{connection_credentials: " << ::testing::PrintToString(info.connection_credentials)
        << ", target_systems: " << ::testing::PrintToString(info.target_systems)
        << ", kms_credentials: " << ::testing::PrintToString(info.kms_credentials)
        << ", bmc_credentials: " << ::testing::PrintToString(info.bmc_credentials)
        << ", privpassword: " << ::testing::PrintToString(info.privpassword)
        << ", newpassword: " << ::testing::PrintToString(info.newpassword) << "}";
}

namespace {

using strings = std::vector<std::string>;

struct BindingCase {
    const char* name;
    std::string document;
    bool bound;
    plain_text_info expected;
};

// An ignored member `depth` arrays deep beside privpassword: with the object, depth + 1 levels.
std::string nested(int depth) {
    return R"({"other": )" + std::string(depth, '[') + std::string(depth, ']') +
           R"(, "privpassword": "p"})";
}

const std::string kFull = R"({
    "connection_credentials": {"b": "u2:p:2", "a": "u1:p1"},
    "target_systems": ["a@10.0.0.1", "x", "x"],
    "kms_credentials": ["a"],
    "bmc_credentials": ["b"],
    "privpassword": "pp",
    "newpassword": "np"
})";

plain_text_info full_record() {
    return {{{"a", "u1:p1"}, {"b", "u2:p:2"}}, {"a@10.0.0.1", "x", "x"}, {"a"}, {"b"}, "pp", "np"};
}

const BindingCase kCases[] = {
    {"OnlyWhitespaceAndComments", " \n// nothing\n/* at all */ ", false, {}},
    {"EmptyObject", "{}", true, {}},
    {"TopLevelString", R"("connection_credentials")", true, {}},
    {"FullDocument", kFull, true, full_record()},
    {"CommentsAround", "/* head */ // line\n" + kFull + " // tail\n/* end */", true, full_record()},
    {"ByteOrderMark", "\xEF\xBB\xBF{}", false, {}},
    {"TrailingCommaInObject", R"({"privpassword": "p",})", false, {}},
    {"TextAfterValue", R"({"privpassword": "p"} x)", false, {}},
    {"NaNInIgnoredMember", R"({"other": NaN, "privpassword": "p"})", false, {}},
    {"InvalidUtf8InString", "{\"privpassword\": \"\xC3\x28\"}", false, {}},
    {"Depth32InIgnoredMember", nested(31), true, {{}, {}, {}, {}, "p", {}}},
    {"Depth33InIgnoredMember", nested(32), false, {}},
    {"LastDuplicateWins",
     R"({"privpassword": "first", "connection_credentials": {"a": "1", "a": "2"},
         "privpassword": "last"})",
     true,
     {{{"a", "2"}}, {}, {}, {}, "last", {}}},
    {"KeysAreCaseSensitive", R"({"PrivPassword": "p", "Target_Systems": ["a"]})", true, {}},
    {"MistypedMembersLeaveTheOthers",
     R"({"connection_credentials": {"a": "u:p", "b": 5}, "kms_credentials": ["a", 1],
         "bmc_credentials": ["c"], "privpassword": 12, "newpassword": "n"})",
     true,
     {{}, {}, {}, {"c"}, {}, "n"}},
    {"EscapesResolved",
     R"({"connection_credentials": {"\u0061\/b": "\"u\":p"}, "priv\u0070assword": "\u0041"})",
     true,
     {{{"a/b", "\"u\":p"}}, {}, {}, {}, "A", {}}},
};

void PrintTo(const BindingCase& c, std::ostream* os) {
    *os << c.name;
}

class Binding : public ::testing::TestWithParam<BindingCase> {};

TEST_P(Binding, BindsTheDocument) {
    const BindingCase& c = GetParam();
    std::istringstream stream(c.document);
    plain_text_info info;
    // A failed binding must leave the caller's record as it was.
    info.privpassword = "untouched";
    const plain_text_info before = info;

    ASSERT_EQ(json_assign(stream, info), c.bound);
    const plain_text_info& expected = c.bound ? c.expected : before;
    EXPECT_EQ(info, expected);
}

// Keeps, in order, what the binding told it of each member.
class MemberLog : public plain_text_detail::binding_observer {
public:
    void member_bound(plain_text_detail::member_id member, std::size_t items) override {
        told.push_back(std::string(plain_text_detail::member_key(member)) + " bound " +
                       std::to_string(items));
    }
    void member_failed(plain_text_detail::member_id member, const boost::json::value* found,
                       const std::exception&) override {
        told.push_back(std::string(plain_text_detail::member_key(member)) +
                       (found != nullptr ? " unusable" : " absent"));
    }
    std::vector<std::string> told;
};

// The watched binding is json_assign's own: the same record, and one word on each member, in
// binding order, that matches what its field holds.
TEST_P(Binding, WatchedBindingTellsEveryMemberOnce) {
    const BindingCase& c = GetParam();
    boost::system::error_code error;
    std::size_t consumed = 0;
    const boost::json::value document =
        plain_text_detail::parse_document(c.document, error, consumed);
    ASSERT_EQ(!error, c.bound) << error.message();
    if (error) {
        EXPECT_LE(consumed, c.document.size());
        return;
    }
    EXPECT_EQ(consumed, c.document.size());
    plain_text_info info;
    MemberLog log;
    plain_text_detail::bind_members(document, info, &log);
    EXPECT_EQ(info, c.expected);
    ASSERT_EQ(log.told.size(), plain_text_detail::MEMBER_COUNT);
    std::size_t i = 0;
    plain_text_detail::for_each_member(
        info, [&](const plain_text_detail::member_facts& member, const auto& field) {
            const std::string name = member.key;
            const std::string& told = log.told[i++];
            EXPECT_EQ(told.substr(0, name.size() + 1), name + " ") << told;
            if (told.find(" bound ") != std::string::npos) {
                EXPECT_EQ(told,
                          name + " bound " + std::to_string(plain_text_detail::item_count(field)));
            } else {
                const bool found = document.is_object() && document.as_object().contains(name);
                EXPECT_EQ(told, name + (found ? " unusable" : " absent"));
                EXPECT_EQ(plain_text_detail::item_count(field), 0u) << told;
            }
        });
}

INSTANTIATE_TEST_SUITE_P(Documents, Binding, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JsonPointerAppend, EscapesAndSeparates) {
    struct Case {
        std::string pointer, token, expected;
    };
    const Case cases[] = {
        {"", "a/b~c", "/a~1b~0c"},
        {"", "", "/"},
        {"/x", "y", "/x/y"},
        {"/x/", "y", "/x/y"},
    };
    for (Case c : cases) {
        std::string& result = json_pointer_append(c.pointer, c.token);
        EXPECT_EQ(&result, &c.pointer);
        EXPECT_EQ(c.pointer, c.expected) << c.token;
    }
}

TEST(JsonAssign, ValueFormLeavesTargetOnFailureAndReplacesOnSuccess) {
    std::istringstream stream(R"({"kms_credentials": ["a", 1], "bmc_credentials": ["b"]})");
    const boost::json::value root = read_json(stream);
    strings target = {"kept"};
    EXPECT_FALSE(json_assign(root, "/kms_credentials", target));
    EXPECT_EQ(target, strings{"kept"});
    EXPECT_TRUE(json_assign(root, "/bmc_credentials", target));
    EXPECT_EQ(target, strings{"b"});
}

}  // namespace

// A value that cannot be converted for want of memory.
struct exhausting {};
exhausting tag_invoke(boost::json::value_to_tag<exhausting>, const boost::json::value&) {
    throw std::bad_alloc();
}

namespace {

// json_get fails with "[assign failure](<pointer> >> <type>): <reason>\n" in either form, for a
// document that does not parse too, and keeps its cause: running out of memory can be told from
// a wrong shape. json_assign only says it failed.
TEST(JsonGet, FailureNamesPointerAndTypeAndKeepsItsCause) {
    const auto cause = [](const std::string& pointer, const char* type, auto get) -> std::string {
        try {
            get();
        } catch (const std::runtime_error& e) {
            const std::string text = e.what();
            const std::string head = "[assign failure](" + pointer + " >> " + type + "): ";
            EXPECT_EQ(text.substr(0, head.size()), head);
            EXPECT_GT(text.size(), head.size() + 1);
            EXPECT_EQ(text.back(), '\n');
            return plain_text_detail::is_out_of_memory(e) ? "memory" : "shape";
        }
        return "none";
    };
    const boost::json::value root = boost::json::parse(R"({"a": 1})");
    const char* const text = typeid(std::string).name();
    EXPECT_EQ(cause("/a", text, [&] { json_get<std::string>(root, "/a"); }), "shape");
    EXPECT_EQ(cause("/b", text, [&] { json_get<std::string>(root, "/b"); }), "shape");
    EXPECT_EQ(cause("/a", typeid(exhausting).name(), [&] { json_get<exhausting>(root, "/a"); }),
              "memory");
    std::istringstream unparsable("{");
    EXPECT_EQ(cause("", typeid(plain_text_info).name(),
                    [&] { json_get<plain_text_info>(unparsable, ""); }),
              "shape");
    EXPECT_TRUE(plain_text_detail::is_out_of_memory(std::bad_alloc()));
    exhausting target;
    EXPECT_FALSE(json_assign(root, "/a", target));
}

// A bound record's passwords end empty once wiped; names, targets and lists stay.
TEST(WipeRecord, EmptiesEveryPasswordAndNothingElse) {
    plain_text_info record = {{{"a", "u:p"}}, {"a@h"}, {"a"}, {"b"}, "pp", "np"};
    plain_text_detail::wipe_record(record);
    EXPECT_EQ(record, (plain_text_info{{{"a", ""}}, {"a@h"}, {"a"}, {"b"}, "", ""}));
}

TEST(ReadJson, ReadsFromTheCurrentPosition) {
    std::istringstream stream("garbage{\"a\": [1, 2]}");
    stream.seekg(7);
    const boost::json::value value = read_json(stream);
    EXPECT_EQ(value.at("a").as_array().size(), 2u);
}

// A stream that cannot tell its length is read to its end, well past the first block.
TEST(ReadJson, ReadsAStreamOfUnknownLengthToItsEnd) {
    std::string text = "[\"0\"";
    for (int i = 1; i < 30000; ++i) {
        text += ",\"" + std::to_string(i) + "\"";
    }
    const test_support::PipeSource pipe(text + "]");
    plain_text_detail::InputFileStream file(pipe.path());
    const boost::json::value value = read_json(file.stream());
    ASSERT_EQ(value.as_array().size(), 30000u);
    EXPECT_EQ(value.as_array().back().as_string(), "29999");
}

}  // namespace
