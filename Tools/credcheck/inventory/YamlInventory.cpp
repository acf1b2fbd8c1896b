// Ansible inventories in YAML, read with yaml-cpp:
//
//     all:
//       vars: {ansible_user: ops}
//       children:
//         web:
//           hosts:
//             web[01:50].lab:
//             db01: {ansible_host: 10.0.0.5, ansible_user: dba}

#include <yaml-cpp/yaml.h>

#include "inventory/AnsibleGroups.h"

namespace credcheck {

namespace {

// Groups nested deeper than this are not read.
constexpr std::size_t MOST_YAML_DEPTH = 64;

// Thrown when the nodes visited pass the bound: aliases that multiply.
struct too_many_nodes {};

class yaml_reader {
public:
    yaml_reader(std::size_t most_visits, inventory& into)
        : most_visits_(most_visits), into_(into) {}

    void read_top(const YAML::Node& top) {
        visit();
        if (top.IsNull()) {
            return;
        }
        if (!top.IsMap()) {
            problem(top, report_text("an inventory in YAML is a mapping of groups"));
            return;
        }
        for (const auto& member : top) {
            visit();
            if (const auto name = scalar_of(member.first, "a group name")) {
                read_group(*name, member.second, 1);
            }
        }
    }

    void finish() { groups_.resolve(into_.hosts); }

private:
    void visit() {
        if (++visits_ > most_visits_) {
            throw too_many_nodes{};
        }
    }

    static text_position at_of(const YAML::Node& node) {
        const YAML::Mark mark = node.Mark();
        if (mark.line < 0 || mark.column < 0) {
            return {};
        }
        return {static_cast<std::size_t>(mark.line) + 1, static_cast<std::size_t>(mark.column) + 1};
    }

    void problem(const YAML::Node& node, report_text message) {
        into_.problems.push_back({at_of(node), std::move(message)});
    }

    std::optional<std::string> scalar_of(const YAML::Node& node, const char* what) {
        if (!node.IsScalar()) {
            problem(node, report_text(std::string(what) + " is no text"));
            return std::nullopt;
        }
        return node.Scalar();
    }

    // The ansible_user and ansible_host of a mapping of variables.
    void read_vars(const YAML::Node& vars, std::string& user, std::string& address) {
        visit();
        if (vars.IsNull()) {
            return;
        }
        if (!vars.IsMap()) {
            problem(vars, report_text("variables are a mapping"));
            return;
        }
        for (const auto& member : vars) {
            visit();
            if (!member.first.IsScalar() || !member.second.IsScalar()) {
                continue;
            }
            const std::string& name = member.first.Scalar();
            if (name == "ansible_user" || name == "ansible_ssh_user") {
                user = member.second.Scalar();
            } else if (name == "ansible_host" || name == "ansible_ssh_host") {
                address = member.second.Scalar();
            }
        }
    }

    void read_group(const std::string& name, const YAML::Node& body, std::size_t depth) {
        visit();
        groups_.add_group(name);
        if (body.IsNull()) {
            return;
        }
        if (depth > MOST_YAML_DEPTH) {
            problem(body, report_text("groups nested deeper than " +
                                      std::to_string(MOST_YAML_DEPTH) + " levels"));
            return;
        }
        if (!body.IsMap()) {
            report_text message("the group ");
            message << quoted(name) << " is no mapping of hosts, children and vars";
            problem(body, std::move(message));
            return;
        }
        for (const auto& member : body) {
            visit();
            const auto key = scalar_of(member.first, "a group's key");
            if (!key) {
                continue;
            }
            const YAML::Node& value = member.second;
            if (*key == "vars") {
                std::string user;
                std::string address;
                read_vars(value, user, address);
                if (!user.empty()) {
                    groups_.set_user(name, user);
                }
            } else if (*key == "hosts" || *key == "children") {
                if (value.IsNull()) {
                    continue;
                }
                if (!value.IsMap()) {
                    report_text message = quoted(*key);
                    message << " of the group " << quoted(name) << " is no mapping";
                    problem(value, std::move(message));
                    continue;
                }
                for (const auto& entry : value) {
                    visit();
                    const auto entry_name = scalar_of(entry.first, "a host or group name");
                    if (!entry_name) {
                        continue;
                    }
                    if (*key == "children") {
                        groups_.add_child(name, *entry_name);
                        read_group(*entry_name, entry.second, depth + 1);
                    } else {
                        std::string user;
                        std::string address;
                        read_vars(entry.second, user, address);
                        groups_.add_host(name, *entry_name, at_of(entry.first), user, address);
                    }
                }
            } else {
                report_text message("the group ");
                message << quoted(name) << " has " << quoted(*key)
                        << ", where Ansible reads only hosts, children and vars";
                problem(member.first, std::move(message));
            }
        }
    }

    std::size_t most_visits_;
    std::size_t visits_ = 0;
    inventory& into_;
    ansible_groups groups_;
};

// Keeps the comments addressed to credcheck: a "#" at a line's start or after a space.
void keep_comments(std::string_view text, inventory& into) {
    std::size_t number = 1;
    for (std::size_t begin = 0; begin < text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::string_view line = text.substr(begin, end - begin);
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
                const std::string_view comment = line.substr(i + 1);
                if (comment.find(TOOL_COMMENT_MARK) != std::string_view::npos) {
                    const bool trailing =
                        line.substr(0, i).find_first_not_of(" \t") != std::string_view::npos;
                    into.comments.comments.push_back(
                        {std::string(comment), {number, i + 1}, number, trailing});
                }
                break;
            }
        }
        begin = end + 1;
    }
}

}  // namespace

void read_ansible_yaml(std::string_view text, inventory& into) {
    keep_comments(text, into);
    // Every node of a document without aliases takes a few bytes of text; a document whose
    // aliases make it stand for many more nodes than that is refused where the bound is passed.
    const std::size_t most_visits = 16 * text.size() + 4096;
    yaml_reader reader(most_visits, into);
    try {
        reader.read_top(YAML::Load(std::string(text)));
    } catch (const YAML::Exception& error) {
        const YAML::Mark mark = error.mark;
        text_position at;
        if (mark.line >= 0 && mark.column >= 0) {
            at = {static_cast<std::size_t>(mark.line) + 1,
                  static_cast<std::size_t>(mark.column) + 1};
        }
        report_text message("the YAML does not parse: ");
        message << file_text{error.msg};
        into.problems.push_back({at, std::move(message)});
        return;
    } catch (const too_many_nodes&) {
        into.problems.push_back({{},
                                 report_text("the YAML's aliases make it stand for more than " +
                                             grouped(most_visits) + " nodes; not read further")});
    }
    reader.finish();
}

}  // namespace credcheck
