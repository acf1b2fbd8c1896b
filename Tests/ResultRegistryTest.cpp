// The registry's two hidden tables, as the library fills them while it loads and as
// register_result_code changes them. The registry's sources are built into this test, so it has
// tables of its own.

#include <cstring>

#include <gtest/gtest.h>

#include <Corvex/CorvexResult.h>
#include <Corvex/CorvexResultCatalogue.h>
#include <Corvex/detail/CorvexResultTables.h>

namespace {

TEST(ResultRegistryTables, HoldExactlyTheCatalogueAfterLoad) {
    const auto& categories = category_result_messages();
    std::size_t rows = general_result_messages().size();
    for (const auto& [category, messages] : categories) {
        rows += messages.size();
    }
    EXPECT_EQ(rows, std::size(result_code_catalogue));
    for (const result_code_entry& entry : result_code_catalogue) {
        const std::string expected(entry.message);
        if (entry.category == 0) {
            EXPECT_EQ(general_result_messages().at(entry.composed()), expected) << entry.name;
        } else {
            EXPECT_EQ(categories.at(entry.category).at(entry.composed()), expected) << entry.name;
        }
    }
}

TEST(ResultRegistry, ComposesAndChoosesTheTable) {
    const struct Registration {
        const char* what;
        int category;
        int code;
        int composed;
        bool general;
    } cases[] = {
        {"general success", 0, 0, 0, true},
        {"category one", 1000, 113, static_cast<int>(0x03E80071), false},
        {"negative category", -2, 5, static_cast<int>(0xFFFE0005), true},
        {"code not masked", 1001, 0x10001, 0x03E90001, false},
    };
    for (const Registration& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string message = std::string("registered for ") + c.what;
        EXPECT_EQ(register_result_code(c.category, c.code, message.c_str()), c.composed);
        if (c.general) {
            EXPECT_EQ(general_result_messages().at(c.composed), message);
        } else {
            const int category = c.composed >> 16;
            EXPECT_EQ(category_result_messages().at(category).at(c.composed), message);
        }
        EXPECT_EQ(lookup_result_message(c.composed), message);
    }
}

TEST(ResultRegistry, ReRegistrationKeepsOneEntryWithTheLastMessage) {
    const int first = register_result_code(1005, 7, "first");
    const int second = register_result_code(1005, 7, "second");
    EXPECT_EQ(first, second);
    ASSERT_EQ(category_result_messages().at(1005).size(), 1u);
    EXPECT_EQ(lookup_result_message(first), "second");
}

TEST(ResultRegistry, CopiesTheMessage) {
    char buffer[] = "original";
    const int composed = register_result_code(1004, 1, buffer);
    std::strcpy(buffer, "changed!");
    EXPECT_EQ(lookup_result_message(composed), "original");
}

}  // namespace
