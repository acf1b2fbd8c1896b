#include "inventory/Inventory.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "inventory/AnsibleGroups.h"

namespace credcheck {

namespace {

// The most bytes read from an inventory: as much as from a credential file on a stream.
constexpr std::size_t MOST_INVENTORY_BYTES = std::size_t{256} << 20;

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The column of byte `offset` of `line`, counted in code points from 1.
std::size_t column_of(std::string_view line, std::size_t offset) {
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset && i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xc0) != 0x80) {
            ++column;
        }
    }
    return column;
}

// Calls `each(number, line)` for every line of `text`, numbered from 1, without its line end.
template <class Each>
void for_each_line(std::string_view text, Each each) {
    std::size_t number = 1;
    for (std::size_t begin = 0; begin < text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        std::string_view line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        each(number, line);
        begin = end + 1;
    }
}

// Where the comment of `line` begins, or npos: at a byte of `marks` that begins the line or
// follows a space; with `anywhere`, at such a byte wherever it stands.
std::size_t comment_start(std::string_view line, std::string_view marks, bool anywhere) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (marks.find(line[i]) != std::string_view::npos &&
            (anywhere || i == 0 || is_space(line[i - 1]))) {
            return i;
        }
    }
    return std::string_view::npos;
}

// Splits off the comment of `line` (keeping it when it is addressed to credcheck) and returns
// what stands before it.
std::string_view strip_comment(std::string_view line, std::size_t number, std::string_view marks,
                               bool anywhere, inventory& into) {
    const std::size_t start = comment_start(line, marks, anywhere);
    if (start == std::string_view::npos) {
        return line;
    }
    const std::string_view comment = line.substr(start + 1);
    if (comment.find(TOOL_COMMENT_MARK) != std::string_view::npos) {
        const bool trailing = !trimmed(line.substr(0, start)).empty();
        into.comments.comments.push_back(
            {std::string(comment), {number, column_of(line, start)}, number, trailing});
    }
    return line.substr(0, start);
}

void add_problem(inventory& into, text_position at, report_text message) {
    into.problems.push_back({at, std::move(message)});
}

// A host of a host file: "[user@]host[:port]", the host a scope, an IPv6 address bare or in
// brackets ("[fd00::1]:22"). Returns false, with a problem, for a port that is no number.
bool split_host_entry(std::string_view entry, std::string& user, std::string_view& host,
                      std::size_t& host_offset, report_text& problem) {
    const std::size_t at = entry.rfind('@');
    host_offset = at == std::string_view::npos ? 0 : at + 1;
    if (at != std::string_view::npos) {
        user = std::string(entry.substr(0, at));
    }
    host = entry.substr(host_offset);
    std::size_t port = std::string_view::npos;
    if (!host.empty() && host.front() == '[') {
        const std::size_t close = host.find(']');
        if (close != std::string_view::npos && close + 1 < host.size() && host[close + 1] == ':') {
            port = close + 1;
        }
    } else if (std::count(host.begin(), host.end(), ':') == 1) {
        port = host.find(':');
    }
    if (port != std::string_view::npos) {
        const std::string_view digits = host.substr(port + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), is_digit)) {
            problem << "the port of " << quoted(entry) << " is no number";
            return false;
        }
        host = host.substr(0, port);
    }
    if (host.empty() || (at != std::string_view::npos && user.empty())) {
        problem << quoted(entry) << " names no " << (host.empty() ? "host" : "user");
        return false;
    }
    return true;
}

void read_plain(std::string_view text, inventory& into) {
    for_each_line(text, [&](std::size_t number, std::string_view line) {
        const std::string_view content = strip_comment(line, number, "#", true, into);
        const std::string_view entry = trimmed(content);
        if (entry.empty()) {
            return;
        }
        const std::size_t offset = static_cast<std::size_t>(entry.data() - line.data());
        const text_position at{number, column_of(line, offset)};
        if (std::any_of(entry.begin(), entry.end(), is_space)) {
            report_text message("more than one host on a line: ");
            message << quoted(entry);
            add_problem(into, at, std::move(message));
            return;
        }
        inventory_host host;
        std::string_view scope;
        std::size_t host_offset = 0;
        report_text problem;
        if (!split_host_entry(entry, host.user, scope, host_offset, problem)) {
            add_problem(into, at, std::move(problem));
            return;
        }
        host.name = std::string(scope);
        host.at = {number, column_of(line, offset + host_offset)};
        into.hosts.push_back(std::move(host));
    });
}

// Whether `text` is an address a hosts file can begin a line with: IPv4 or IPv6.
bool looks_like_address(std::string_view text) {
    return !text.empty() &&
           (text.find(':') != std::string_view::npos ||
            std::all_of(text.begin(), text.end(), [](char c) { return is_digit(c) || c == '.'; }));
}

// The words of `line` and the byte offset of each.
std::vector<std::pair<std::string_view, std::size_t>> words_of(std::string_view line) {
    std::vector<std::pair<std::string_view, std::size_t>> words;
    for (std::size_t i = 0; i < line.size();) {
        if (is_space(line[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        char quote = 0;
        for (; end < line.size() && (quote != 0 || !is_space(line[end])); ++end) {
            if (quote == 0 && (line[end] == '\'' || line[end] == '"')) {
                quote = line[end];
            } else if (line[end] == quote) {
                quote = 0;
            }
        }
        words.emplace_back(line.substr(i, end - i), i);
        i = end;
    }
    return words;
}

void read_hosts(std::string_view text, inventory& into) {
    for_each_line(text, [&](std::size_t number, std::string_view line) {
        const auto words = words_of(strip_comment(line, number, "#", true, into));
        if (words.empty()) {
            return;
        }
        const text_position at{number, column_of(line, words.front().second)};
        if (!looks_like_address(words.front().first)) {
            report_text message("a hosts file line begins with an address, not ");
            message << quoted(words.front().first);
            add_problem(into, at, std::move(message));
            return;
        }
        inventory_host host;
        host.name = std::string(words.front().first);
        host.at = at;
        for (std::size_t i = 1; i < words.size(); ++i) {
            host.also.emplace_back(words[i].first);
        }
        into.hosts.push_back(std::move(host));
    });
}

// A value of an INI line without the quotes around it.
std::string unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

// The host of an Ansible INI host line, without the ":port" Ansible allows after it (a ":"
// outside brackets followed by digits). An IPv6 address is written bare and takes no port.
std::string_view without_port(std::string_view host) {
    std::size_t depth = 0;
    std::size_t colon = std::string_view::npos;
    std::size_t colons = 0;
    for (std::size_t i = 0; i < host.size(); ++i) {
        depth += host[i] == '[' ? 1 : 0;
        depth -= host[i] == ']' && depth > 0 ? 1 : 0;
        if (host[i] == ':' && depth == 0) {
            colon = i;
            ++colons;
        }
    }
    if (colons != 1) {
        return host;
    }
    const std::string_view digits = host.substr(colon + 1);
    return !digits.empty() && std::all_of(digits.begin(), digits.end(), is_digit)
               ? host.substr(0, colon)
               : host;
}

void read_ansible_ini(std::string_view text, inventory& into) {
    ansible_groups groups;
    enum class section { hosts, children, vars, unknown };
    section in = section::hosts;
    std::string group = std::string(UNGROUPED);
    for_each_line(text, [&](std::size_t number, std::string_view line) {
        const std::string_view content = strip_comment(line, number, "#;", false, into);
        const std::string_view stripped = trimmed(content);
        if (stripped.empty()) {
            return;
        }
        const std::size_t offset = static_cast<std::size_t>(stripped.data() - line.data());
        const text_position at{number, column_of(line, offset)};
        if (stripped.front() == '[') {
            const std::size_t close = stripped.find(']');
            std::string_view header =
                stripped.substr(1, close == std::string_view::npos ? 0 : close - 1);
            if (close != stripped.size() - 1 || header.empty()) {
                report_text message("a group header of no form Ansible reads: ");
                message << quoted(stripped);
                add_problem(into, at, std::move(message));
                in = section::unknown;
                return;
            }
            in = section::hosts;
            if (const std::size_t colon = header.find(':'); colon != std::string_view::npos) {
                const std::string_view kind = header.substr(colon + 1);
                in = kind == "children" ? section::children
                     : kind == "vars"   ? section::vars
                                        : section::unknown;
                if (in == section::unknown) {
                    report_text message("a group header of no form Ansible reads: ");
                    message << quoted(stripped);
                    add_problem(into, at, std::move(message));
                }
                header = header.substr(0, colon);
            }
            group = std::string(header);
            groups.add_group(group);
            return;
        }
        const auto words = words_of(stripped);
        switch (in) {
            case section::unknown:
                return;
            case section::children:
                if (words.size() != 1) {
                    report_text message("a child group is one name, not ");
                    message << quoted(stripped);
                    add_problem(into, at, std::move(message));
                    return;
                }
                groups.add_child(group, std::string(stripped));
                return;
            case section::vars:
            case section::hosts:
                break;
        }
        std::size_t first_var = in == section::vars ? 0 : 1;
        std::string user;
        std::string address;
        for (std::size_t i = first_var; i < words.size(); ++i) {
            const auto [word, word_offset] = words[i];
            const std::size_t equals = word.find('=');
            if (equals == std::string_view::npos || equals == 0) {
                report_text message("a variable is NAME=VALUE, not ");
                message << quoted(word);
                add_problem(into, {number, column_of(line, offset + word_offset)},
                            std::move(message));
                return;
            }
            const std::string_view name = word.substr(0, equals);
            const std::string value = unquoted(word.substr(equals + 1));
            if (name == "ansible_user" || name == "ansible_ssh_user") {
                user = value;
            } else if (name == "ansible_host" || name == "ansible_ssh_host") {
                address = value;
            }
        }
        if (in == section::vars) {
            if (!user.empty()) {
                groups.set_user(group, user);
            }
            return;
        }
        groups.add_host(group, std::string(without_port(words.front().first)), at, user, address);
    });
    groups.resolve(into.hosts);
}

std::string extension_of(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view base = path.substr(slash == std::string_view::npos ? 0 : slash + 1);
    const std::size_t dot = base.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string()
                                                     : std::string(base.substr(dot));
}

}  // namespace

std::string_view format_name(inventory_format format) {
    switch (format) {
        case inventory_format::plain:
            return "plain";
        case inventory_format::hosts:
            return "hosts";
        case inventory_format::ansible_ini:
            return "ansible-ini";
        case inventory_format::ansible_yaml:
            return "ansible-yaml";
    }
    return "";
}

std::optional<inventory_format> format_named(std::string_view name) {
    for (const inventory_format format :
         {inventory_format::plain, inventory_format::hosts, inventory_format::ansible_ini,
          inventory_format::ansible_yaml}) {
        if (format_name(format) == name) {
            return format;
        }
    }
    return std::nullopt;
}

inventory_format detect_format(std::string_view path, std::string_view text) {
    const std::string extension = extension_of(path);
    if (extension == ".ini") {
        return inventory_format::ansible_ini;
    }
    if (extension == ".yaml" || extension == ".yml") {
        return inventory_format::ansible_yaml;
    }
    const std::size_t slash = path.rfind('/');
    if (path.substr(slash == std::string_view::npos ? 0 : slash + 1) == "hosts" &&
        extension.empty()) {
        // An Ansible inventory is often called "hosts" too: its content says which it is.
        if (text.find("\n[") == std::string_view::npos && text.substr(0, 1) != "[") {
            return inventory_format::hosts;
        }
    }
    // By content: the first line that is neither blank nor a comment.
    bool first = true;
    std::optional<inventory_format> found;
    for_each_line(text, [&](std::size_t, std::string_view line) {
        const std::string_view content = trimmed(line);
        if (found || content.empty() || content.front() == '#' || content.front() == ';') {
            return;
        }
        if (first && content == "---") {
            found = inventory_format::ansible_yaml;
            return;
        }
        first = false;
        const auto words = words_of(content);
        if (content.front() == '[' && content.back() == ']' && words.size() == 1 &&
            content.find(':') == std::string_view::npos) {
            found = inventory_format::ansible_ini;
        } else if (content.back() == ':' || content.find(": ") != std::string_view::npos) {
            found = inventory_format::ansible_yaml;
        } else if (words.size() > 1 && looks_like_address(words.front().first)) {
            found = inventory_format::hosts;
        } else if (words.size() > 1 && words[1].first.find('=') != std::string_view::npos) {
            found = inventory_format::ansible_ini;
        } else {
            found = inventory_format::plain;
        }
    });
    return found.value_or(inventory_format::plain);
}

inventory read_inventory(std::string path, std::string_view text, inventory_format format) {
    inventory read;
    read.path = std::move(path);
    read.format = format;
    read.hosts.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    switch (format) {
        case inventory_format::plain:
            read_plain(text, read);
            break;
        case inventory_format::hosts:
            read_hosts(text, read);
            break;
        case inventory_format::ansible_ini:
            read_ansible_ini(text, read);
            break;
        case inventory_format::ansible_yaml:
            read_ansible_yaml(text, read);
            break;
    }
    return read;
}

std::optional<std::string> load_inventory(const std::string& path,
                                          std::optional<inventory_format> format, inventory& into) {
    std::string text;
    if (path == "-") {
        // Read in pieces, so that an endless stream stops at the bound rather than at memory's.
        char piece[1 << 16];
        while (std::cin.read(piece, sizeof piece) || std::cin.gcount() > 0) {
            text.append(piece, static_cast<std::size_t>(std::cin.gcount()));
            if (text.size() > MOST_INVENTORY_BYTES) {
                break;
            }
        }
        if (std::cin.bad()) {
            return std::string(std::strerror(errno));
        }
    } else {
        struct stat facts {};
        if (::stat(path.c_str(), &facts) != 0) {
            return std::string(std::strerror(errno));
        }
        if (S_ISDIR(facts.st_mode)) {
            return std::string("a directory");
        }
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            return std::string(std::strerror(errno));
        }
        std::ostringstream read;
        read << file.rdbuf();
        if (file.bad()) {
            return std::string(std::strerror(errno));
        }
        text = std::move(read).str();
    }
    if (text.size() > MOST_INVENTORY_BYTES) {
        return "longer than " + std::to_string(MOST_INVENTORY_BYTES >> 20) + " MiB";
    }
    into = read_inventory(path, text, format.value_or(detect_format(path, text)));
    return std::nullopt;
}

}  // namespace credcheck
