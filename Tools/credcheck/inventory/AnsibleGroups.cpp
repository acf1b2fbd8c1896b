#include "inventory/AnsibleGroups.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace credcheck {

namespace {

constexpr std::string_view ALL = "all";

// Groups nested deeper than this pass their variables no further down.
constexpr std::size_t MOST_GROUP_DEPTH = 64;

}  // namespace

std::size_t ansible_groups::group_index(const std::string& name) {
    const auto [found, added] = group_numbers_.emplace(name, groups_.size());
    if (added) {
        groups_.emplace_back();
    }
    return found->second;
}

void ansible_groups::add_group(const std::string& group) {
    group_index(group);
}

void ansible_groups::add_child(const std::string& parent, const std::string& child) {
    const std::size_t parent_number = group_index(parent);
    std::vector<std::size_t>& parents = groups_[group_index(child)].parents;
    if (std::find(parents.begin(), parents.end(), parent_number) == parents.end()) {
        parents.push_back(parent_number);
    }
}

void ansible_groups::set_user(const std::string& group, const std::string& user) {
    groups_[group_index(group)].user = user;
}

void ansible_groups::add_host(const std::string& group, const std::string& name, text_position at,
                              const std::string& user, const std::string& address) {
    const std::size_t group_number = group_index(group);
    const auto [found, added] = host_numbers_.emplace(name, hosts_.size());
    if (added) {
        hosts_.push_back({{name, {}, {}, at}, {}});
    }
    host_facts& facts = hosts_[found->second];
    if (facts.host.user.empty()) {
        facts.host.user = user;
    }
    if (facts.host.also.empty() && !address.empty()) {
        facts.host.also.push_back(address);
    }
    if (std::find(facts.groups.begin(), facts.groups.end(), group_number) == facts.groups.end()) {
        facts.groups.push_back(group_number);
    }
}

void ansible_groups::resolve(std::vector<inventory_host>& hosts) const {
    // Depth: "all" 0, a group with no parent 1, a child one more than its deepest parent; and
    // the user each group passes on with the depth of the group that sets it: its own, else its
    // deepest ancestor's. Found by rounds over the children, as many as the deepest nesting
    // read, so that neither a cycle nor a hostile chain of groups costs more than that.
    const std::size_t count = groups_.size();
    const auto all = group_numbers_.find(std::string(ALL));
    const bool has_all = all != group_numbers_.end();
    std::vector<std::size_t> depth(count, 1);
    if (has_all) {
        depth[all->second] = 0;
    }
    for (std::size_t round = 0; round < MOST_GROUP_DEPTH; ++round) {
        bool changed = false;
        for (std::size_t g = 0; g < count; ++g) {
            for (const std::size_t parent : groups_[g].parents) {
                if (depth[parent] + 1 > depth[g] && !(has_all && g == all->second)) {
                    depth[g] = depth[parent] + 1;
                    changed = true;
                }
            }
        }
        if (!changed) {
            break;
        }
    }
    std::vector<std::optional<std::pair<std::size_t, std::string>>> passed(count);
    for (std::size_t g = 0; g < count; ++g) {
        if (!groups_[g].user.empty()) {
            passed[g].emplace(depth[g], groups_[g].user);
        }
    }
    for (std::size_t round = 0; round < MOST_GROUP_DEPTH; ++round) {
        bool changed = false;
        for (std::size_t g = 0; g < count; ++g) {
            for (const std::size_t parent : groups_[g].parents) {
                if (passed[parent] && (!passed[g] || passed[parent]->first > passed[g]->first)) {
                    passed[g] = passed[parent];
                    changed = true;
                }
            }
        }
        if (!changed) {
            break;
        }
    }
    for (std::size_t g = 0; has_all && g < count; ++g) {
        if (!passed[g]) {
            passed[g] = passed[all->second];
        }
    }
    hosts.reserve(hosts.size() + hosts_.size());
    for (const host_facts& facts : hosts_) {
        inventory_host host = facts.host;
        if (host.user.empty()) {
            const std::pair<std::size_t, std::string>* best = nullptr;
            for (const std::size_t g : facts.groups) {
                if (passed[g] && (best == nullptr || passed[g]->first > best->first)) {
                    best = &*passed[g];
                }
            }
            if (best != nullptr) {
                host.user = best->second;
            }
        }
        hosts.push_back(std::move(host));
    }
}

}  // namespace credcheck
