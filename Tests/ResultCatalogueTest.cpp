// The catalogue as the loaded library answers it: every constant holds its row's composed value,
// and every row's message is registered byte for byte.

#include <string>

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

TEST(ResultCatalogue, UnregisteredCodesHaveNoMessage) {
    // Absent from the general table, from a category present, and of a category absent.
    for (const int composed : {2, -1, 0x003B0001, 0x00400000 | 125}) {
        EXPECT_EQ(lookup_result_message(composed), std::nullopt) << std::hex << composed;
    }
}

TEST(ResultCatalogue, FindsTheRowOfAComposedCode) {
    const auto row = find_result_code(RESULT_FILE_NOT_EXIST);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->name, "RESULT_FILE_NOT_EXIST");
    EXPECT_FALSE(find_result_code(0x003B0000).has_value());
}

}  // namespace
