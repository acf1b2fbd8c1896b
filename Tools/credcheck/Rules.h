#pragma once
// The rules credcheck checks a credential file against: each with a stable id, a severity and the
// words that explain it. Reports, --ignore, and the SARIF log's rule list read them from here.

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

/// A rule: its id, the severity of its findings, what it finds (one line) and why it matters.
struct rule_info {
    std::string_view id;
    severity level;
    std::string_view summary;
    std::string_view help;
};

/// Every rule, in the order the README lists them.
inline constexpr rule_info RULES[] = {
    {"parse-error", severity::error, "The file is no credential document",
     "The text does not parse as JSON under the credential file's rules (comments allowed, no "
     "trailing commas, valid UTF-8, at most 32 levels): the tool family receives nothing from it."},
    {"unusable-member", severity::error, "A member has the wrong shape and is ignored",
     "A member of the file is present but not of the shape it must have (an object of strings, "
     "an array of strings, a string): the tool family ignores it whole."},
    {"duplicate-member", severity::warning, "A member or alias is given twice",
     "The same name stands twice in one object: the tool family gets the last one, and the "
     "earlier one (a whole list, a password) is silently dropped."},
    {"unknown-member", severity::warning, "A member the file format does not have",
     "The file format has no member of that name, so the tool family ignores it; often a typo of "
     "a member that is then missing."},
    {"unknown-alias", severity::warning, "An entry names an alias that has no credential",
     "The entry is skipped: no key is handed out for it."},
    {"rejected-scope", severity::warning, "A host scope that cannot be expanded",
     "spread_scope_ip refuses the target's host scope: the entry is skipped and logged."},
    {"shadowed-key", severity::warning, "An entry asks for keys that earlier entries hold",
     "The first value stored under a key wins: the later entry's values for those keys are "
     "dropped (a note when they are the same password)."},
    {"no-effect", severity::warning, "An entry that hands out no key",
     "Every key the entry asks for is already held by earlier entries, so it changes nothing."},
    {"unused-credential", severity::warning, "A credential no entry uses",
     "No target, KMS or BMC entry names the alias, so its credential is handed out nowhere."},
    {"no-colon", severity::warning, "A credential without ':'",
     "The whole text is taken as the user name and the password is empty."},
    {"empty-password", severity::warning, "A credential with an empty password",
     "The credential hands out an empty password."},
    {"reserved-host", severity::warning, "A target whose host is kmsid or bmc-password",
     "Its key has the form of a KMS or BMC credential, which the tools cannot tell apart."},
    {"many-entries", severity::warning, "The file hands out very many entries",
     "More entries than --max-entries, or many per byte of the entries' own text: a few "
     "characters of scope that stand for whole networks."},
    {"reused-password", severity::warning, "One password under several aliases or users",
     "A password given to several credentials: whoever learns one has them all."},
    {"password-in-name", severity::warning, "A password inside a name of the file",
     "The password is, or stands inside, its user name, its alias or a host name of the file, "
     "which are shown and logged where passwords are not."},
    {"weak-password", severity::warning, "A password libpwquality finds weak (--strict)",
     "libpwquality's verdict with its default settings and dictionary."},
    {"permissions", severity::warning, "The file can be read by others",
     "Credential files should be readable by their owner only (chmod 600). Not checked for a "
     "stream (a pipe, a FIFO, standard input from either), whose mode is not a file's."},
    {"owner", severity::warning, "The file belongs to neither you nor root",
     "Its owner can change the credentials you use. Not checked for a stream (a pipe, a FIFO, "
     "standard input from either), whose owner is not a file's."},
};

inline constexpr std::size_t RULE_COUNT = sizeof RULES / sizeof RULES[0];

/// The rule of `id`, or null.
constexpr const rule_info* find_rule(std::string_view id) {
    for (const rule_info& rule : RULES) {
        if (rule.id == id) {
            return &rule;
        }
    }
    return nullptr;
}

}  // namespace credcheck
