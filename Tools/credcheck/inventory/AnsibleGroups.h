#pragma once
// What the two Ansible inventory forms, INI and YAML, share: groups, their children and
// variables, and the hosts in them. The user a host is reached as is its own ansible_user, else
// that of the deepest group it is in that sets one, as Ansible itself merges group variables.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "inventory/Inventory.h"

namespace credcheck {

/// The group of INI hosts listed before any header.
inline constexpr std::string_view UNGROUPED = "ungrouped";

class ansible_groups {
public:
    void add_group(const std::string& group);
    void add_child(const std::string& parent, const std::string& child);
    void set_user(const std::string& group, const std::string& user);
    /// Adds `name` to `group`; a host already known gains the group, and its user and address
    /// when it had none.
    void add_host(const std::string& group, const std::string& name, text_position at,
                  const std::string& user, const std::string& address);
    /// Appends every host once, in the order first seen, with its user resolved.
    void resolve(std::vector<inventory_host>& hosts) const;

private:
    struct group_facts {
        std::vector<std::size_t> parents;
        std::string user;
    };
    struct host_facts {
        inventory_host host;
        std::vector<std::size_t> groups;
    };
    std::size_t group_index(const std::string& name);

    std::unordered_map<std::string, std::size_t> group_numbers_;
    std::vector<group_facts> groups_;
    std::unordered_map<std::string, std::size_t> host_numbers_;
    std::vector<host_facts> hosts_;
};

/// Reads an Ansible inventory in YAML into `into`. Aliases are followed, up to a bound on the
/// nodes visited in proportion to the text, so that a document of aliases that multiply is a
/// problem rather than a hang.
void read_ansible_yaml(std::string_view text, inventory& into);

}  // namespace credcheck
