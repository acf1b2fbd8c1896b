// The catalogue as the loaded library answers it: every constant holds its row's composed value,
// every row's message is registered byte for byte, and the rows stand in definition order.

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Corvex/CorvexResultCatalogue.h>
#include <PlainTextFileParser/PlainTextFileParser.h>

namespace {

struct NamedConstant {
    const char* name;
    const int* value;
};

// The constants themselves, as the library exports them.
const NamedConstant kConstants[] = {
#define CORVEX_RESULT(name, category, code, message) {#name, &name},
#include <Corvex/CorvexResultCatalogue.inc>
#undef CORVEX_RESULT
};

TEST(ResultCatalogue, EveryConstantHoldsItsComposedValueAndMessage) {
    ASSERT_EQ(std::size(kConstants), std::size(result_code_catalogue));
    for (std::size_t i = 0; i < std::size(kConstants); ++i) {
        const result_code_entry& row = result_code_catalogue[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(*kConstants[i].value, (row.category << 16) | row.code);
        EXPECT_EQ(lookup_result_message(*kConstants[i].value), std::string(row.message));
    }
}

TEST(ResultCatalogue, ParserConstants) {
    EXPECT_EQ(RESULT_SUCCEED, 0);
    EXPECT_EQ(RESULT_FILE_NOT_EXIST, 6);
    EXPECT_EQ(RESULT_INVALID_FILE, 7);
}

TEST(ResultCatalogue, UnregisteredCodesHaveNoMessage) {
    for (const int composed : {2, 31, 69, 113, 0x003B0001, 0x00050000 | 125, 0x00400000 | 125, -1,
                               static_cast<int>(0x80000000)}) {
        EXPECT_EQ(lookup_result_message(composed), std::nullopt) << std::hex << composed;
    }
}

TEST(ResultCatalogue, DefinitionOrderAndUniqueness) {
    std::set<int> seen_categories;
    std::set<int> composed_values;
    std::set<std::string_view> names;
    const result_code_entry* previous = nullptr;
    for (const result_code_entry& row : result_code_catalogue) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(composed_values.insert(row.composed()).second);
        EXPECT_TRUE(names.insert(row.name).second);
        EXPECT_TRUE(row.name.substr(0, 7) == "RESULT_");
        EXPECT_LE(row.code, 125);
        if (previous == nullptr || previous->category != row.category) {
            EXPECT_TRUE(seen_categories.insert(row.category).second);  // each category in one run
        } else if (row.category == 0) {
            EXPECT_GT(row.code, previous->code);
        } else {
            EXPECT_LT(row.code, previous->code);
        }
        previous = &row;
    }
}

TEST(ResultCatalogue, FindsTheRowOfAComposedCode) {
    const auto row = find_result_code(RESULT_FILE_NOT_EXIST);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->name, "RESULT_FILE_NOT_EXIST");
    EXPECT_FALSE(find_result_code(0x003B0000).has_value());
}

}  // namespace
