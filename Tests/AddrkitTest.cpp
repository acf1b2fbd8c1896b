#include <Kelvor/Addrkit.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Kelvor::Addrkit;
using Names = std::vector<std::string>;

struct Expansion {
    std::string scope;
    Names expected;
};

struct LargeExpansion {
    std::string scope;
    std::size_t count;
    std::string first;
    std::string last;
};

const std::string label63(63, 'a');
const std::string name253 = label63 + '.' + label63 + '.' + label63 + '.' + std::string(61, 'b');

TEST(AddrkitAccepts, AppendsExactEntriesAfterExistingOnes) {
    const std::vector<Expansion> cases = {
        {"10.0.0.7", {"10.0.0.7"}},
        {"0.0.0.0", {"0.0.0.0"}},
        {"255.255.255.255", {"255.255.255.255"}},
        {"[FE80::0:1]", {"fe80::1"}},
        {"::ffff:1.2.3.4", {"::ffff:1.2.3.4"}},
        {"10.0.0.250-10.0.1.2",
         {"10.0.0.250", "10.0.0.251", "10.0.0.252", "10.0.0.253", "10.0.0.254", "10.0.0.255",
          "10.0.1.0", "10.0.1.1", "10.0.1.2"}},
        {"10.0.0.5-9", {"10.0.0.5", "10.0.0.6", "10.0.0.7", "10.0.0.8", "10.0.0.9"}},
        {"10.0.0.0-0", {"10.0.0.0"}},
        {"192.168.1.0/30", {"192.168.1.1", "192.168.1.2"}},
        {"192.168.1.6/31", {"192.168.1.6", "192.168.1.7"}},
        {"bmc-01.lab.example", {"bmc-01.lab.example"}},
        {"BMC.Lab.aZ-Az", {"BMC.Lab.aZ-Az"}},  // the first and last letters of both cases
        {"4x", {"4x"}},
        {"01.lab.0xg", {"01.lab.0xg"}},
        {name253, {name253}},
        {"bmc[08-11].lab", {"bmc08.lab", "bmc09.lab", "bmc10.lab", "bmc11.lab"}},
        {"n[8-11]", {"n8", "n9", "n10", "n11"}},
        {"n[0-1]", {"n0", "n1"}},
        {"rack[0099-0101]", {"rack0099", "rack0100", "rack0101"}},
        {"[1-2]a.example", {"1a.example", "2a.example"}},
        {"n[99999999999999999999-100000000000000000000]",
         {"n99999999999999999999", "n100000000000000000000"}},
        {"n[000-0]", {"n000"}},
        {label63.substr(1) + "[8-9]", {label63.substr(1) + "8", label63.substr(1) + "9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scope);
        Names out = {"kept"};
        Names expected = {"kept"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_TRUE(Addrkit::spread_scope_ip(c.scope, out));
        EXPECT_EQ(out, expected);
    }
}

TEST(AddrkitAccepts, LargeScopesUpToTheCap) {
    const std::vector<LargeExpansion> cases = {
        {"10.1.0.0/16", 65534, "10.1.0.1", "10.1.255.254"},
        {"10.0.0.0-10.0.255.255", 65536, "10.0.0.0", "10.0.255.255"},
        {"h[00000-65535]", 65536, "h00000", "h65535"},
        {"n[08-100]", 93, "n08", "n100"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scope);
        Names out;
        ASSERT_TRUE(Addrkit::spread_scope_ip(c.scope, out));
        ASSERT_EQ(out.size(), c.count);
        EXPECT_EQ(out.front(), c.first);
        EXPECT_EQ(out.back(), c.last);
    }
}

TEST(AddrkitRejects, LeavesAddressesUnchanged) {
    const std::vector<std::string> cases = {
        // blanks and stray bytes
        "", " 10.0.0.7", "10.0.0.7 ", "bmc\x7f", "bmc\xc3\xa9.lab", std::string("10.0.0.7\0.9", 10),
        // IPv4 addresses
        "010.1.1.1", "1.2.3.04", "10.0.0", "10.0.0.7.1", "10.0.0.256", "10..0.7", "0x7f.0.0.1",
        "1.2.3.1000", ".1.2.3", "1.2.3.", "1.2.3.+4",
        // IPv6 addresses
        "[10.0.0.7]", "[fe80::1", "fe80::1]", "fe80::1%eth0", "::ffff:01.2.3.4", "1::2::3",
        "::1-::5", "2001:db8::/64",
        // IPv4 ranges
        "10.0.0.9-10.0.0.5", "10.0.0.5-256", "10.0.0.5-09", "-10.0.0.5", "10.0.0.5-6-7",
        "10.0.0.5-10.0.1", "10.0.0.0-10.1.0.0", "0.0.0.0-255.255.255.255",
        // IPv4 blocks
        "10.0.0.1/24", "10.0.0.0/33", "10.0.0.0/024", "10.0.0.0/", "10.0.0.0/16/1", "10.0.0.0/15",
        // host names
        "-bmc.lab", "bmc-.lab", "bmc.lab.", "bmc_01", "bmc.01", "0x7f", "bmc.0X1f",
        label63 + "a.lab", name253 + "b",
        // host-name ranges
        "n[11-10]", "n[1-3][1-3]", "n[1-3", "n1-3]", "n]1-3[", "n[1]", "n[-1-3]", "n[1-010]",
        "n[1-99999999999999999999]", "n[100000000000000000000-99999999999999999999]", "n[a-c]",
        "[1-3]", "n[0-65536]", label63.substr(1) + "[9-10]", "n[1-3].-x", "n.[1-3]",
        // a generated name that reads as a hex number ("0x", "a.0x1")
        "[0-7]x", "a.[0-1]x1"};
    for (const auto& scope : cases) {
        SCOPED_TRACE(scope);
        Names out = {"sentinel"};
        EXPECT_FALSE(Addrkit::spread_scope_ip(scope, out));
        EXPECT_EQ(out, Names{"sentinel"});
    }
}

// The address texts must be the C library's, letter for letter: an IPv6 address is written back
// as inet_ntop writes it, and the addresses of a block as inet_ntop writes IPv4.
std::string c_library_text(int family, const void* address) {
    char text[INET6_ADDRSTRLEN];
    return inet_ntop(family, address, text, sizeof text);
}

TEST(AddrkitTexts, AgreeWithTheCLibrary) {
    // Zero runs of every kind (first, longest, trailing, single) and the IPv4 forms, then random
    // addresses whose groups are often zero.
    std::vector<std::array<unsigned char, 16>> addresses;
    for (const char* text :
         {"::", "::1", "::2", "::1.2.3.4", "::ffff:1.2.3.4", "::fffe:102:304", "::ffff:0:102:304",
          "1:0:0:2::3", "1:0:0:2::3:4", "2001:db8::", "fe80::1", "1:0:2:0:3:0:4:0"}) {
        ASSERT_EQ(inet_pton(AF_INET6, text, addresses.emplace_back().data()), 1) << text;
    }
    std::mt19937 random(20261205);
    for (int i = 0; i < 2000; ++i) {
        auto& bytes = addresses.emplace_back();
        for (int g = 0; g < 8; ++g) {
            const unsigned group = random() % 3 == 0 ? 0 : random() % 0x10000;
            bytes[2 * g] = static_cast<unsigned char>(group >> 8);
            bytes[2 * g + 1] = static_cast<unsigned char>(group);
        }
    }
    for (const auto& bytes : addresses) {
        // Every group in full and in upper case: the least canonical text there is.
        char written[64];
        int length = 0;
        for (int g = 0; g < 8; ++g) {
            length += std::snprintf(written + length, sizeof written - length, g ? ":%04X" : "%04X",
                                    bytes[2 * g] << 8 | bytes[2 * g + 1]);
        }
        Names out;
        ASSERT_TRUE(Addrkit::spread_scope_ip(written, out)) << written;
        EXPECT_EQ(out, Names{c_library_text(AF_INET6, bytes.data())}) << written;
    }
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t address = i < 4 ? std::uint32_t{0xffffffffu} >> (8 * i) : random();
        const std::uint32_t network_order = htonl(address);
        const std::string text = c_library_text(AF_INET, &network_order);
        Names out;
        ASSERT_TRUE(Addrkit::spread_scope_ip(text + "/32", out)) << text;
        EXPECT_EQ(out, Names{text});
    }
}

}  // namespace
