#include "findings/Suppressions.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <string_view>
#include <utility>

namespace credcheck {

namespace {

constexpr std::string_view UNTIL = "(until ";

std::string_view trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t\r\n*");
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t\r\n*") - begin + 1);
}

// Whether `text` is a day of the calendar written YYYY-MM-DD.
bool is_date(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    const auto number = [&](std::size_t at, std::size_t digits) {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const int year = number(0, 4);
    const int month = number(5, 2);
    const int day = number(8, 2);
    constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month >= 1 && month <= 12 && day >= 1 &&
           day <= DAYS[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool is_about_suppressions(rule which) {
    return which == rule::invalid_suppression || which == rule::expired_suppression ||
           which == rule::unused_suppression;
}

// A suppression comment, read.
struct suppression {
    std::vector<rule> rules;
    std::string_view reason;
    std::string_view until;  // empty when it does not end
};

// Reads `text`, the text of a comment that begins with SUPPRESSION_KEYWORD, into `read`; returns
// what is wrong with it, or an empty text when nothing is.
report_text read_suppression(std::string_view text, suppression& read) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return report_text(
            "the suppression has no ':' before its reason: write credcheck-ignore "
            "RULE: why the finding is accepted");
    }
    std::string_view names = text.substr(0, colon);
    while (!names.empty()) {
        const std::size_t comma = std::min(names.find(','), names.size());
        const std::string_view name = trimmed(names.substr(0, comma));
        names.remove_prefix(std::min(comma + 1, names.size()));
        if (name.empty()) {
            continue;
        }
        const rule_info* info = find_rule(name);
        if (info == nullptr || is_about_suppressions(info->which)) {
            report_text problem("the suppression names ");
            problem << quoted(name) << ", which is no rule a suppression can accept";
            return problem;
        }
        read.rules.push_back(info->which);
    }
    if (read.rules.empty()) {
        return report_text("the suppression names no rule");
    }
    read.reason = trimmed(text.substr(colon + 1));
    const std::size_t until = read.reason.rfind(UNTIL);
    if (until != std::string_view::npos && read.reason.back() == ')') {
        read.until =
            read.reason.substr(until + UNTIL.size(), read.reason.size() - until - UNTIL.size() - 1);
        read.reason = trimmed(read.reason.substr(0, until));
        if (!is_date(read.until)) {
            report_text problem("the suppression's end ");
            problem << quoted(read.until) << " is no day written YYYY-MM-DD";
            return problem;
        }
    }
    if (read.reason.empty()) {
        return report_text("the suppression gives no reason after its ':'");
    }
    return {};
}

// "weak-password" or "weak-password and reused-password".
std::string rule_names(const std::vector<rule>& rules) {
    std::string names;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        names += i == 0 ? "" : i + 1 == rules.size() ? " and " : ", ";
        names += info_of(rules[i]).id;
    }
    return names;
}

}  // namespace

std::string today_utc() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &utc);
    return day;
}

void apply_suppressions(const document_index& index, std::vector<finding>& findings,
                        const finding_settings& settings) {
    if (index.comments.empty()) {
        return;
    }
    const std::string today = settings.today.empty() ? today_utc() : settings.today;
    std::vector<finding> problems;
    const auto problem = [&](rule which, const comment_occurrence& comment, report_text message) {
        if (!is_ignored(settings, which)) {
            const rule_info& info = info_of(which);
            problems.push_back({&info,
                                info.level,
                                std::move(message),
                                comment.at,
                                std::nullopt,
                                "comment\n" + comment.text,
                                std::nullopt,
                                std::nullopt,
                                {}});
        }
    };
    // The suppressions in force, each with the line it speaks for and what it accepted.
    struct in_force {
        const comment_occurrence* comment;
        suppression read;
        std::size_t line;
        std::size_t accepted = 0;
    };
    std::vector<in_force> suppressions;
    for (const comment_occurrence& comment : index.comments) {
        const std::string_view text = trimmed(comment.text);
        if (text.substr(0, SUPPRESSION_KEYWORD.size()) != SUPPRESSION_KEYWORD ||
            (text.size() > SUPPRESSION_KEYWORD.size() &&
             text.find_first_of(" \t:", SUPPRESSION_KEYWORD.size()) !=
                 SUPPRESSION_KEYWORD.size())) {
            continue;
        }
        suppression read;
        report_text wrong = read_suppression(text.substr(SUPPRESSION_KEYWORD.size()), read);
        if (!wrong.raw().empty()) {
            problem(rule::invalid_suppression, comment, std::move(wrong));
        } else if (!read.until.empty() && read.until < today) {
            problem(rule::expired_suppression, comment,
                    report_text("the suppression of " + rule_names(read.rules) + " ended on " +
                                std::string(read.until) + ": its findings count again"));
        } else {
            const std::size_t line = comment.trailing ? comment.at.line : comment.end_line + 1;
            suppressions.push_back({&comment, std::move(read), line});
        }
    }
    // Line by line: each finding goes to the first suppression of its line that names its rule,
    // so a line of many findings and many comments costs one pass over each, not their product.
    std::stable_sort(suppressions.begin(), suppressions.end(),
                     [](const in_force& a, const in_force& b) { return a.line < b.line; });
    constexpr std::size_t NONE = static_cast<std::size_t>(-1);
    for (std::size_t group = 0; group < suppressions.size();) {
        const std::size_t line = suppressions[group].line;
        std::array<std::size_t, RULE_COUNT> first_naming;
        first_naming.fill(NONE);
        std::size_t end = group;
        for (; end < suppressions.size() && suppressions[end].line == line; ++end) {
            for (const rule which : suppressions[end].read.rules) {
                std::size_t& first = first_naming[static_cast<std::size_t>(which)];
                first = first == NONE ? end : first;
            }
        }
        const auto from = std::partition_point(findings.begin(), findings.end(),
                                               [&](const finding& f) { return f.at.line < line; });
        for (auto f = from; f != findings.end() && f->at.line == line; ++f) {
            const std::size_t by = first_naming[static_cast<std::size_t>(f->rule->which)];
            if (by != NONE) {
                in_force& accepting = suppressions[by];
                f->accepted = acceptance{acceptance::kind::in_source, accepting.read.reason,
                                         accepting.comment->at};
                ++accepting.accepted;
            }
        }
        group = end;
    }
    for (const in_force& s : suppressions) {
        if (s.accepted == 0) {
            problem(rule::unused_suppression, *s.comment,
                    report_text("the suppression of " + rule_names(s.read.rules) +
                                " accepts no finding on line " + std::to_string(s.line)));
        }
    }
    findings.insert(findings.end(), std::make_move_iterator(problems.begin()),
                    std::make_move_iterator(problems.end()));
    std::stable_sort(findings.begin(), findings.end(), [](const finding& a, const finding& b) {
        return std::make_pair(a.at.line, a.at.column) < std::make_pair(b.at.line, b.at.column);
    });
}

}  // namespace credcheck
