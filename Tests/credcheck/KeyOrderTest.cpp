// The order in which credcheck lists keys and which keys it folds into one line.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "model/KeyOrder.h"

namespace {

using credcheck::follows;
using credcheck::key_parts;

struct FollowsCase {
    const char* name;
    const char* first;
    const char* second;
    bool follows;
};

const FollowsCase kFollows[] = {
    {"NextAddress", "u@10.0.0.1", "u@10.0.0.2", true},
    {"NextAddressOverAnOctet", "u@10.0.0.255", "u@10.0.1.0", true},
    {"AGap", "u@10.0.0.1", "u@10.0.0.3", false},
    {"TheSameAddress", "u@10.0.0.1", "u@10.0.0.1", false},
    {"AnotherUser", "u@10.0.0.1", "v@10.0.0.2", false},
    {"NextNumberedName", "u@bmc09.lab", "u@bmc10.lab", true},
    {"NextNumberWithoutPadding", "u@bmc9.lab", "u@bmc10.lab", true},
    {"NamesThatDifferAfterTheNumber", "u@bmc1.lab", "u@bmc2.lan", false},
    {"NamesWithoutANumber", "u@bmc.lab", "u@bmd.lab", false},
    // An address and a name that reads like the next one are never one run.
    {"AnAddressThenAName", "u@10.0.0.1", "u@10.0.0.02", false},
    {"ANameThenAnAddress", "u@10.0.0.01", "u@10.0.0.2", false},
    {"NumbersThatStartTheName", "u@19.lab", "u@20.lab", true},
    {"ANumberThatStartsTheNameIsCountedWhole", "u@19.lab", "u@110.lab", false},
    {"NumbersTooLongToCount", "u@n1000000000000000000.lab", "u@n1000000000000000001.lab", false},
};

void PrintTo(const FollowsCase& c, std::ostream* os) {
    *os << c.first << " then " << c.second;
}

class Follows : public ::testing::TestWithParam<FollowsCase> {};

TEST_P(Follows, OnlyTheNextAddressOrNumberOfOneUser) {
    const FollowsCase& c = GetParam();
    EXPECT_EQ(follows(key_parts(c.first), key_parts(c.second)), c.follows);
}

INSTANTIATE_TEST_SUITE_P(Keys, Follows, ::testing::ValuesIn(kFollows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KeyOrder, ByUserThenAddressesInNumericOrderThenNamesByteByByte) {
    // Byte order puts 10.0.0.10 before 10.0.0.9 and names before some addresses.
    std::vector<std::string> keys = {"a@10.0.0.10", "a@10.0.0.9", "a@1host",   "a@bmc.lab",
                                     "a@fd00::1",   "b@10.0.0.1", "b@9.9.9.9", "privpassword"};
    std::vector<std::string> ordered = keys;
    credcheck::for_each_user(
        ordered, [](const std::string& key) { return std::string_view(key); },
        [&](std::size_t first, std::size_t end) {
            credcheck::order_user_keys(
                ordered, first, end, [](const std::string& key) { return std::string_view(key); });
        });
    EXPECT_EQ(ordered,
              (std::vector<std::string>{"a@10.0.0.9", "a@10.0.0.10", "a@1host", "a@bmc.lab",
                                        "a@fd00::1", "b@9.9.9.9", "b@10.0.0.1", "privpassword"}));
    for (std::size_t i = 0; i + 1 < ordered.size(); ++i) {
        EXPECT_TRUE(key_parts(ordered[i]) < key_parts(ordered[i + 1])) << ordered[i];
        EXPECT_FALSE(key_parts(ordered[i + 1]) < key_parts(ordered[i])) << ordered[i];
    }
}

}  // namespace
