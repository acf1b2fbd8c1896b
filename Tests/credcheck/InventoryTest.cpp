// Inventories: what each reader takes from its format, Ansible's host patterns, the folding of
// hosts into ranges, and the join with a credential file's keys.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "inventory/AnsibleGroups.h"
#include "inventory/Coverage.h"
#include "walk/FileWalk.h"

namespace {

using namespace credcheck;
using test_support::TempDir;

// "user@name+also line:column" for each host, then "! line:column message" for each problem.
std::vector<std::string> read_as(inventory_format format, const std::string& text) {
    const inventory read = read_inventory("inventory", text, format);
    std::vector<std::string> found;
    for (const inventory_host& host : read.hosts) {
        std::string line = host.user.empty() ? host.name : host.user + "@" + host.name;
        for (const std::string& other : host.also) {
            line += "+" + other;
        }
        found.push_back(line + " " + std::to_string(host.at.line) + ":" +
                        std::to_string(host.at.column));
    }
    for (const inventory_problem& problem : read.problems) {
        found.push_back("! " + std::to_string(problem.at.line) + ":" +
                        std::to_string(problem.at.column) + " " + problem.message.raw());
    }
    return found;
}

struct reader_case {
    const char* name;
    inventory_format format;
    const char* text;
    std::vector<std::string> expected;
};

TEST(Inventory, EachReaderTakesHostsUsersAddressesAndSaysWhereLinesFail) {
    const std::vector<reader_case> cases = {
        {"plain: host file users, ports, IPv6 bare and bracketed, comments",
         inventory_format::plain,
         "# fleet\n\nops@10.0.0.7:22\n  node[001-040]  # rack\n[FD00::1]:2222\nfd00::2\n",
         {"ops@10.0.0.7 3:5", "node[001-040] 4:3", "[FD00::1] 5:1", "fd00::2 6:1"}},
        {"plain: two hosts on a line, a port that is no number, no user before @",
         inventory_format::plain,
         "a b\nweb:ssh\n@web\n",
         {"! 1:1 more than one host on a line: 'a b'", "! 2:1 the port of 'web:ssh' is no number",
          "! 3:1 '@web' names no user"}},
        {"hosts: an address and its names; a line that begins with a name",
         inventory_format::hosts,
         "127.0.0.1 localhost\n10.0.0.5\tweb01 web01.lab # front\nweb02 10.0.0.6\n",
         {"127.0.0.1+localhost 1:1", "10.0.0.5+web01+web01.lab 2:1",
          "! 3:1 a hosts file line begins with an address, not 'web02'"}},
        {"ansible-ini: group vars by depth, host vars first, ansible_host, ports, one host once",
         inventory_format::ansible_ini,
         "lone\n[all:vars]\nansible_user=base\n[web]\nweb[01:02].lab:2222\n"
         "db1 ansible_host=10.0.0.5 ansible_user='dba'\n[web:vars]\nansible_user=www\n"
         "[prod:children]\nweb\n[prod:vars]\nansible_user=prod\n[other]\ndb1\n",
         {"base@lone 1:1", "www@web[01:02].lab 5:1", "dba@db1+10.0.0.5 6:1"}},
        {"ansible-ini: a header of no known kind, a variable without '=', a child of two names",
         inventory_format::ansible_ini,
         "[web:hosts]\nx\n[db]\ndb1 port\n[g:children]\na b\n",
         {"! 1:1 a group header of no form Ansible reads: '[web:hosts]'",
          "! 4:5 a variable is NAME=VALUE, not 'port'",
          "! 6:1 a child group is one name, not 'a b'"}},
        {"ansible-yaml: the same hosts as the INI form",
         inventory_format::ansible_yaml,
         "all:\n  vars: {ansible_user: base}\n  hosts:\n    lone:\n  children:\n    prod:\n"
         "      vars: {ansible_user: prod}\n      children:\n        web:\n          vars:\n"
         "            ansible_user: www\n          hosts:\n            web[01:02].lab:\n"
         "            db1: {ansible_host: 10.0.0.5, ansible_user: dba}\n",
         {"base@lone 4:5", "www@web[01:02].lab 13:13", "dba@db1+10.0.0.5 14:13"}},
        {"ansible-yaml: a group that is a list, a key Ansible does not read, text that is no YAML",
         inventory_format::ansible_yaml,
         "web: [a, b]\ndb:\n  host: x\n",
         {"! 1:6 the group 'web' is no mapping of hosts, children and vars",
          "! 3:3 the group 'db' has 'host', where Ansible reads only hosts, children and vars"}},
        {"ansible-yaml: no YAML",
         inventory_format::ansible_yaml,
         "all: [\n",
         {"! 2:1 the YAML does not parse: end of sequence flow not found"}},
    };
    for (const reader_case& c : cases) {
        EXPECT_EQ(read_as(c.format, c.text), c.expected) << c.name;
    }
}

TEST(Inventory, FormatIsFoundByNameThenContent) {
    const std::vector<std::pair<std::pair<const char*, const char*>, inventory_format>> cases = {
        {{"fleet.ini", "web01\n"}, inventory_format::ansible_ini},
        {{"fleet.yml", "web01\n"}, inventory_format::ansible_yaml},
        {{"etc/hosts", "127.0.0.1 localhost\n"}, inventory_format::hosts},
        {{"hosts", "[web]\nweb01\n"}, inventory_format::ansible_ini},
        {{"fleet", "# list\n[web]\nweb01\n"}, inventory_format::ansible_ini},
        {{"fleet", "---\nall:\n"}, inventory_format::ansible_yaml},
        {{"fleet", "all:\n  hosts:\n"}, inventory_format::ansible_yaml},
        {{"fleet", "10.0.0.5 web01\n"}, inventory_format::hosts},
        {{"fleet", "web01 ansible_host=10.0.0.5\n"}, inventory_format::ansible_ini},
        {{"fleet", "[fd00::1]:22\nnode[001-040]\n"}, inventory_format::plain},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(format_name(detect_format(input.first, input.second)), format_name(expected))
            << input.first << ": " << input.second;
    }
}

TEST(Inventory, AnsiblePatternsExpandWithinTheScopeBound) {
    const std::vector<std::pair<const char*, std::vector<std::string>>> expanded = {
        {"web[08:11].lab", {"web08.lab", "web09.lab", "web10.lab", "web11.lab"}},
        {"db-[a:c]", {"db-a", "db-b", "db-c"}},
        {"n[1:9:4]", {"n1", "n5", "n9"}},
        {"r[1:2]n[a:b]", {"r1na", "r1nb", "r2na", "r2nb"}},
        {"node[001-040]", {"node[001-040]"}},
        {"[fd00::1]", {"[fd00::1]"}},
    };
    for (const auto& [pattern, names] : expanded) {
        std::vector<std::string> out;
        EXPECT_EQ(expand_pattern(pattern, out), std::nullopt) << pattern;
        EXPECT_EQ(out, names) << pattern;
    }
    const std::vector<std::pair<const char*, const char*>> refused = {
        {"web[9:1]", "its first number is above its last"},
        {"web[a:9]", "a range runs from a number to a number, or a letter to a letter"},
        {"web[1:5:0]", "its step is no number above 0"},
        {"web[0:65536]", "it stands for more than 65,536 hosts"},
        {"r[1:300]n[1:300]", "it stands for more than 65,536 hosts"},
        {"web[1:5", "a '[' without its ']'"},
    };
    for (const auto& [pattern, problem] : refused) {
        std::vector<std::string> out;
        EXPECT_EQ(expand_pattern(pattern, out), std::optional<std::string>(problem)) << pattern;
        EXPECT_TRUE(out.empty()) << pattern;
    }
    std::vector<std::string> out;
    EXPECT_EQ(expand_pattern("web[1:65536]", out), std::nullopt);
    EXPECT_EQ(out.size(), 65'536u);
}

TEST(Inventory, HostsFoldIntoRangesThatKeepTheirPadding) {
    const std::vector<std::pair<std::vector<std::string_view>, std::vector<std::string>>> cases = {
        {{"node052", "node051", "node053"}, {"node[051-053] 3"}},
        {{"10.0.0.9", "10.0.0.10", "10.0.0.11", "10.0.0.13"}, {"10.0.0.[9-11] 3", "10.0.0.13 1"}},
        {{"10.0.1.0", "10.0.0.255", "10.0.1.1"}, {"10.0.0.255-10.0.1.1 3"}},
        {{"bmc9", "bmc010"}, {"bmc9 1", "bmc010 1"}},
        {{"n099", "n100"}, {"n[099-100] 2"}},
        {{"fd00::1", "fd00::2", "lab"}, {"fd00::1 1", "fd00::2 1", "lab 1"}},
        {{"a1.lab", "a2.lab", "a2.dev"}, {"a2.dev 1", "a[1-2].lab 2"}},
    };
    for (const auto& [hosts, expected] : cases) {
        std::vector<std::string> found;
        for (const folded_hosts& run : fold_hosts(hosts)) {
            found.push_back(run.pattern + " " + std::to_string(run.count));
        }
        EXPECT_EQ(found, expected) << hosts.front();
    }
}

// The coverage of `inventory_text` (read as `format`) by the credential file `credentials`:
// "hosts covered not_covered outside", then each gap and each outside run.
std::vector<std::string> coverage_of(const std::string& credentials, inventory_format format,
                                     const std::string& inventory_text) {
    const TempDir dir;
    const file_walk walk = walk_file(dir.write("credentials.json", credentials));
    std::vector<inventory> read;
    read.push_back(read_inventory("inventory", inventory_text, format));
    const inventory_set set = prepare_inventories(std::move(read));
    const coverage_report c = cover(set, walk);
    std::vector<std::string> found = {
        std::to_string(c.inventory_hosts) + " " + std::to_string(c.covered) + " " +
        std::to_string(c.not_covered) + " " + std::to_string(c.keys_outside)};
    for (const coverage_gap& gap : c.gaps) {
        found.push_back("no key: " + (gap.user.empty() ? "" : gap.user + "@") + gap.hosts + " " +
                        std::to_string(gap.count) + " at " + std::to_string(gap.at.line));
    }
    for (const outside_run& run : c.outside) {
        found.push_back("outside: " + run.keys + " " + std::to_string(run.count));
    }
    for (const inventory_problem& problem : set.inventories.front().problems) {
        found.push_back("! " + problem.message.raw());
    }
    return found;
}

const char* const FLEET_KEYS = R"({
    "connection_credentials": {"ops": "root:Zq8!vLr2#pXw9", "dep": "deploy:Hu4@kLm9$wQ2"},
    "target_systems": ["ops@10.0.0.0/24", "ops@node[001-050].lab", "ops@10.9.9.1-3",
                       "ops@web01", "dep@web02"],
    "kms_credentials": ["ops"]
})";

TEST(Inventory, TheFormsOfOneInventoryGiveTheSameCoverage) {
    // A /23 against keys for a /24, node[001-060] against node[001-050], a host whose inventory
    // user has no key (web01), one reached by its address (web03), keys for hosts it lacks.
    const std::vector<std::string> expected = {
        "573 306 267 2",
        "no key: 10.0.0.255-10.0.1.254 256",
        "no key: node[051-060].lab 10",
        "no key: deploy@web01 1",
        "outside: root@10.9.9.[2-3] 2",
    };
    const std::vector<std::pair<inventory_format, std::string>> forms = {
        {inventory_format::plain,
         "10.0.0.0/23\nnode[001-060].lab\ndeploy@web01\n10.9.9.1\ndeploy@web02\n"},
        {inventory_format::ansible_ini,
         "10.0.0.0/23\nnode[001:060].lab\nweb01 ansible_user=deploy\nweb03 ansible_host=10.9.9.1\n"
         "[dep]\nweb02\n[dep:vars]\nansible_user=deploy\n"},
        {inventory_format::ansible_yaml,
         "all:\n  hosts:\n    10.0.0.0/23:\n    node[001:060].lab:\n    web01: {ansible_user: "
         "deploy}\n    web03: {ansible_host: 10.9.9.1}\n  children:\n    dep:\n"
         "      vars: {ansible_user: deploy}\n      hosts:\n        web02:\n"},
    };
    for (const auto& [format, text] : forms) {
        std::vector<std::string> found = coverage_of(FLEET_KEYS, format, text);
        for (std::string& line : found) {
            line = line.substr(0, line.find(" at "));
        }
        EXPECT_EQ(found, expected) << format_name(format);
    }
    // A hosts file names no user: a key for any user covers its host, by address or by name.
    EXPECT_EQ(coverage_of(FLEET_KEYS, inventory_format::hosts,
                          "10.0.0.1 a\n10.1.0.1 web01\n10.1.0.2 web02 b\n10.1.0.3 c\n"),
              (std::vector<std::string>{
                  "4 3 1 306", "no key: 10.1.0.3 1 at 4", "outside: root@10.0.0.[2-254] 253",
                  "outside: root@node[001-050].lab 50", "outside: root@10.9.9.[1-3] 3"}));
}

TEST(Inventory, ScopesPastTheBoundAndAliasesThatMultiplyAreRefused) {
    EXPECT_EQ(coverage_of("{}", inventory_format::plain, "10.2.0.0/16\n10.4.0.0/15\n"),
              (std::vector<std::string>{
                  "65534 0 65534 0", "no key: 10.2.0.1-10.2.255.254 65534 at 1",
                  "! the host '10.4.0.0/15' is refused: no host scope a credential file can name, "
                  "or one of more than 65,536 addresses"}))
        << "a block counts its addresses";
    std::string laughs = "all:\n  children:\n    g0: &g0 {hosts: {h: }}\n";
    for (int level = 1; level <= 9; ++level) {
        laughs +=
            "    g" + std::to_string(level) + ": &g" + std::to_string(level) + " {children: {";
        for (char child = 'a'; child <= 'j'; ++child) {
            laughs +=
                std::string(child == 'a' ? "" : ", ") + child + ": *g" + std::to_string(level - 1);
        }
        laughs += "}}\n";
    }
    const inventory read = read_inventory("laughs.yaml", laughs, inventory_format::ansible_yaml);
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_NE(read.problems.front().message.raw().find("aliases make it stand for more than"),
              std::string::npos);
}

TEST(Inventory, RunsPastTheListedOnesAreCounted) {
    std::string hosts;
    std::string targets;
    for (std::size_t i = 0; i < MOST_COVERAGE_RUNS + 500; ++i) {
        hosts += "h" + std::to_string(i) + ".lab\n";
        targets += std::string(i == 0 ? "" : ",") + "\"ops@k" + std::to_string(i) + ".lab\"";
    }
    const TempDir dir;
    const file_walk walk = walk_file(
        dir.write("credentials.json", R"({"connection_credentials": {"ops": "root:Zq8!vLr2#pXw9"},
                               "target_systems": [)" +
                                          targets + "]}"));
    std::vector<inventory> read;
    read.push_back(read_inventory("inventory", hosts, inventory_format::plain));
    const inventory_set set = prepare_inventories(std::move(read));
    const coverage_report c = cover(set, walk);
    EXPECT_EQ(c.gaps.size(), MOST_COVERAGE_RUNS);
    EXPECT_EQ(c.gap_hosts_not_listed, 500u);
    EXPECT_EQ(c.outside.size(), MOST_COVERAGE_RUNS);
    EXPECT_EQ(c.outside_keys_not_listed, 500u);
    EXPECT_EQ(c.keys_outside, MOST_COVERAGE_RUNS + 500);
}

}  // namespace
