#pragma once
// Inventories: the lists of hosts a team runs its tools against, read so that credcheck can say
// which of them a credential file leaves without a key, and which keys reach hosts outside them.
//
// Four kinds are read: a plain list of host scopes (as a credential file writes them, with the
// optional "user@" and ":port" of a parallel-ssh host file), a hosts file (an address and its
// names), and an Ansible inventory in INI or YAML. Each reader yields the hosts it found, where
// each stands, and a problem for every line it could not use; none of them resolves a name.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/ReportText.h"
#include "walk/DocumentIndex.h"

namespace credcheck {

/// The kinds of inventory.
enum class inventory_format { plain, hosts, ansible_ini, ansible_yaml };

/// "plain", "hosts", "ansible-ini" or "ansible-yaml", as --inventory-format names them.
std::string_view format_name(inventory_format format);

/// The format --inventory-format names `name`, or none.
std::optional<inventory_format> format_named(std::string_view name);

/// The most names one Ansible host pattern ("web[01:50]", "db-[a:f]") stands for: the bound a
/// host scope of a credential file has.
inline constexpr std::size_t MOST_HOSTS_PER_PATTERN = 65'536;

/// One host of an inventory as it writes it.
struct inventory_host {
    /// The host: a scope as a credential file writes it (an address, range, block, name or
    /// numbered family), or an Ansible pattern ("web[01:50].lab"), as it stands in the file.
    std::string name;
    /// The address the inventory gives it (ansible_host, the address of a hosts-file line), and
    /// the other names a hosts-file line gives; keys for these reach it too.
    std::vector<std::string> also;
    /// The user the inventory names for it (ansible_user, "user@" of a host file); empty when
    /// none, and then a key for any user covers it.
    std::string user;
    text_position at;
};

/// A line of an inventory that could not be used, and why. The message may quote the file.
struct inventory_problem {
    text_position at;
    report_text message;
};

/// An inventory as read.
struct inventory {
    /// As the command line names it ("-" for standard input).
    std::string path;
    inventory_format format = inventory_format::plain;
    std::vector<inventory_host> hosts;
    std::vector<inventory_problem> problems;
    /// Its comments addressed to credcheck: suppressions of the findings located in it.
    document_index comments;
};

/// The format of an inventory at `path` holding `text`: by its name's extension (".ini",
/// ".yaml", ".yml"; "hosts"), else by its content.
inventory_format detect_format(std::string_view path, std::string_view text);

/// Reads `text` as an inventory of `format`. Throws std::bad_alloc.
inventory read_inventory(std::string path, std::string_view text, inventory_format format);

/// Reads the inventory file at `path` ("-" is standard input), in `format` or the one
/// detect_format finds. Returns the reason it cannot be read, or none.
std::optional<std::string> load_inventory(const std::string& path,
                                          std::optional<inventory_format> format, inventory& into);

/// Appends to `names` every name an Ansible host pattern stands for: "web[01:50].lab" gives
/// "web01.lab" to "web50.lab" (the width of the first bound kept), "db-[a:f]" "db-a" to "db-f",
/// an optional ":step" after the last bound; several brackets multiply. Text without brackets
/// of that form is appended as it is. Returns a problem, appending nothing, for a pattern that
/// is malformed or stands for more than MOST_HOSTS_PER_PATTERN names.
std::optional<std::string> expand_pattern(std::string_view pattern,
                                          std::vector<std::string>& names);

}  // namespace credcheck
