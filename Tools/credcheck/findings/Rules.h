#pragma once
// The rules credcheck checks a credential file against: each a constant with a stable id, a
// severity, the words that explain it and its check. Reports, --ignore, --help and the SARIF log's
// rule list read them from here.

#include <array>
#include <cstddef>
#include <string_view>

namespace credcheck {

/// How much a finding matters. --strict fails on warnings and errors.
enum class severity { error, warning, note };

/// "error", "warning" or "note".
constexpr std::string_view severity_name(severity level) {
    switch (level) {
        case severity::error:
            return "error";
        case severity::warning:
            return "warning";
        case severity::note:
            return "note";
    }
    return "";
}

/// Every rule, as a constant: a finding is made from one, so a rule that does not exist does not
/// compile. In the order the README lists them, which is also the order of RULES.
enum class rule : unsigned char {
    parse_error,
    unusable_member,
    duplicate_member,
    unknown_member,
    unknown_alias,
    rejected_scope,
    shadowed_key,
    host_case,
    no_effect,
    unused_credential,
    no_colon,
    empty_password,
    blank_user,
    padded_text,
    control_character,
    reserved_host,
    many_entries,
    reused_password,
    password_in_name,
    weak_password,
    permissions,
    owner,
    no_credential,
    outside_inventory,
    inventory_problem,
    invalid_suppression,
    expired_suppression,
    unused_suppression,
};

inline constexpr std::size_t RULE_COUNT = static_cast<std::size_t>(rule::unused_suppression) + 1;

class finder;

/// A rule: its id, the severity of its findings, what it finds (one line), why it matters, and
/// the check that finds it in a walk (none for the rules about suppressions, which judge the
/// other rules' findings once they are all found).
struct rule_info {
    rule which;
    std::string_view id;
    severity level;
    std::string_view summary;
    std::string_view help;
    void (*check)(finder&);
};

/// Every rule, by `rule`.
extern const std::array<rule_info, RULE_COUNT> RULES;

/// The row of `r`.
inline const rule_info& info_of(rule r) {
    return RULES[static_cast<std::size_t>(r)];
}

/// The rule whose id is `id`, or null: for --ignore, which names rules as the user types them.
const rule_info* find_rule(std::string_view id);

}  // namespace credcheck
