// read_json over a public JSON conformance suite: every y_ file parses, every n_ file fails
// (except the few that are valid here because comments are allowed), and no i_ file crashes.

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include <PlainTextFileParser/JsonBinding.h>

namespace {

namespace fs = std::filesystem;

// n_ files that are valid JSON once comments are allowed, as credential files allow them.
const std::map<std::string, const char*> kValidWithComments = {
    {"n_structure_object_with_comment.json", "a /* */ comment inside an object"},
    {"n_object_trailing_comment.json", "a /* */ comment after the object"},
    {"n_object_trailing_comment_slash_open.json", "a // comment after the object"},
};

fs::path suite_folder() {
    const fs::path root = PTFP_JSON_TEST_SUITE_DIR;
    return fs::is_directory(root / "test_parsing") ? root / "test_parsing" : root;
}

bool parses(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    try {
        read_json(stream);
        return true;
    } catch (const boost::system::system_error&) {
        return false;
    }
}

TEST(JsonTestSuite, AcceptsAndRejectsAsTheSuiteSays) {
    const fs::path folder = suite_folder();
    ASSERT_TRUE(fs::is_directory(folder)) << "JSON conformance suite not found at " << folder;
    int accepted = 0, rejected = 0, either = 0;
    for (const auto& item : fs::directory_iterator(folder)) {
        const std::string name = item.path().filename().string();
        if (item.path().extension() != ".json") {
            continue;
        }
        const bool ok = parses(item.path());
        switch (name[0]) {
            case 'y':
                EXPECT_TRUE(ok) << name;
                ++accepted;
                break;
            case 'n':
                EXPECT_EQ(ok, kValidWithComments.count(name) == 1) << name;
                ++rejected;
                break;
            case 'i':
                ++either;  // the parser's choice; reaching here means it did not crash
                break;
            default:
                ADD_FAILURE() << "unexpected file " << name;
        }
    }
    EXPECT_EQ(accepted, 95);
    EXPECT_EQ(rejected, 188);
    EXPECT_EQ(either, 35);
}

}  // namespace
