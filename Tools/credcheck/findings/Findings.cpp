#include "findings/Findings.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <PlainTextFileParser/detail/SecretMemory.h>
#include <utf8proc.h>

#include "findings/Finder.h"
#include "findings/PasswordStrength.h"
#include "findings/Suppressions.h"
#include "inventory/Coverage.h"
#include "text/SecretMask.h"

namespace credcheck {

namespace {

namespace detail = plain_text_detail;

/// A target whose scope stands for this many addresses, at this many a byte of the scope, is a
/// few characters standing for a whole network.
constexpr std::size_t CROWDED_ENTRIES = 10'000;
constexpr std::size_t ENTRIES_PER_BYTE = 100;

// Names longer than this are not compared with the known ones for a likely typo.
constexpr std::size_t LONGEST_TYPO = 64;

text_position credential_at(const file_walk& walk, const std::string& alias) {
    const alias_occurrence* occurrence = walk.index.bound_alias(alias);
    return occurrence != nullptr ? occurrence->value_at : text_position{};
}

}  // namespace

std::vector<given_password> given_passwords(const file_walk& walk) {
    std::vector<given_password> given;
    for (const auto& [alias, text] : walk.record.connection_credentials) {
        const detail::credential parts = detail::split_credential(text);
        if (!parts.password.empty()) {
            report_text owner("credential ");
            owner << quoted(alias);
            given.push_back(
                {parts.password, std::move(owner), parts.user, alias, credential_at(walk, alias)});
        }
    }
    for (const member_id member : {member_id::privpassword, member_id::newpassword}) {
        const std::string& password =
            member == member_id::privpassword ? walk.record.privpassword : walk.record.newpassword;
        if (!password.empty()) {
            given.push_back({password,
                             report_text(detail::member_key(member)),
                             {},
                             {},
                             source_position(walk, {member, 0})});
        }
    }
    return given;
}

namespace {

void find_parse_error(finder& f) {
    if (const auto& problem = f.walk_.document_error) {
        f.add(rule::parse_error, problem->message,
              report_text("the document does not parse: " + problem->message), problem->at);
    }
}

void find_unusable_members(finder& f) {
    for (std::size_t i = 0; i < MEMBER_COUNT; ++i) {
        const member_outcome& member = f.walk_.members[i];
        if (member.how == member_outcome::state::unusable) {
            const member_occurrence* occurrence =
                f.walk_.index.bound_member(static_cast<member_id>(i));
            report_text message = member.problem;
            message << "; the tool family ignores the member";
            f.add(rule::unusable_member, detail::member_key(static_cast<member_id>(i)),
                  std::move(message),
                  occurrence != nullptr ? occurrence->value_at : text_position{});
        }
    }
}

// What a member's value is, as the loss of it is told: "a list of 2 entries", "a password".
report_text dropped_value(const member_occurrence& member) {
    const detail::member_facts* facts = detail::find_member(member.name);
    const auto kind_is = [&](detail::member_kind kind) {
        return facts != nullptr && facts->kind == kind;
    };
    if (kind_is(detail::member_kind::password) && member.kind == value_kind::string) {
        return report_text("a password");
    }
    switch (member.kind) {
        case value_kind::array:
            return report_text("a list of " + count_of(member.items, "entry", "entries"));
        case value_kind::object:
            return report_text("an object of " +
                               (kind_is(detail::member_kind::credentials)
                                    ? count_of(member.items, "credential", "credentials")
                                    : count_of(member.items, "member", "members")));
        default:
            return report_text("a value");
    }
}

void find_duplicate_members(finder& f) {
    const document_index& index = f.walk_.index;
    std::unordered_map<std::string_view, const member_occurrence*> kept;
    for (const member_occurrence& member : index.members) {
        if (member.bound) {
            kept.emplace(member.name, &member);
        }
    }
    for (const member_occurrence& member : index.members) {
        if (member.bound) {
            continue;
        }
        const member_occurrence& last = *kept.at(member.name);
        report_text message = quoted(member.name);
        message << " is given again at " << line_and_column(last.name_at)
                << ", which the tool family gets: " << dropped_value(member) << " here is dropped";
        f.add(rule::duplicate_member, member.name, std::move(message), member.name_at);
    }
    std::unordered_map<std::string_view, const alias_occurrence*> kept_alias;
    for (const std::size_t i : index.bound_aliases) {
        kept_alias.emplace(index.aliases[i].alias, &index.aliases[i]);
    }
    for (const alias_occurrence& alias : index.aliases) {
        const auto last = kept_alias.find(alias.alias);
        if (alias.bound || last == kept_alias.end() || alias.object != last->second->object) {
            continue;
        }
        report_text message("credential ");
        message << quoted(alias.alias) << " is given again at "
                << line_and_column(last->second->name_at)
                << ", which the tool family gets: the password given here is dropped";
        f.add(rule::duplicate_member, "connection_credentials\n" + alias.alias, std::move(message),
              alias.name_at);
    }
}

// The edit distance between two short names.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

void find_unknown_members(finder& f) {
    for (const member_occurrence& member : f.walk_.index.members) {
        if (member.name == "$schema" || detail::find_member(member.name) != nullptr) {
            continue;
        }
        report_text message = quoted(member.name);
        message << " is no member of a credential file, and is ignored";
        if (member.name.size() <= LONGEST_TYPO) {
            const auto nearest = std::min_element(
                std::begin(detail::MEMBER_FACTS), std::end(detail::MEMBER_FACTS),
                [&](const detail::member_facts& a, const detail::member_facts& b) {
                    return distance(member.name, a.key) < distance(member.name, b.key);
                });
            if (distance(member.name, nearest->key) <= 2) {
                message << ": did you mean " << nearest->key << "?";
            }
        }
        f.add(rule::unknown_member, member.name, std::move(message), member.name_at);
    }
}

void find_unknown_aliases(finder& f) {
    for (const entry_source& source : f.walk_.unknown_aliases) {
        const std::string_view alias = source_alias(f.walk_, source);
        report_text what(": no credential under ");
        if (source_entry(f.walk_, source) == alias) {
            what << "that alias";
        } else {
            what << "the alias " << quoted(alias);
        }
        f.add_for(rule::unknown_alias, source, what << "; skipped");
    }
}

void find_rejected_scopes(finder& f) {
    for (const entry_source& source : f.walk_.rejected_scopes) {
        report_text what(": host scope ");
        what << quoted(detail::split_target_entry(source_entry(f.walk_, source)).scope)
             << " refused by spread_scope_ip; skipped and logged";
        f.add_for(rule::rejected_scope, source, std::move(what));
    }
}

// " (the first, u@h, by target_systems[2] (line 3:5))": the entry that holds the first key an
// entry found held, named and placed but not quoted, since one entry may hold the keys of very
// many others.
report_text first_held(const file_walk& walk, const entry_drops& drops) {
    const handed_entry& first = walk.entries[drops.first_held];
    report_text holder(" (the first, ");
    holder << key_text{*first.key} << ", by " << source_name(first.source);
    const text_position at = source_position(walk, first.source);
    if (at.known()) {
        holder << " (" << line_and_column(at) << ")";
    }
    return holder << ")";
}

// An entry that asked only for keys already held: it had no effect.
void find_no_effect(finder& f) {
    for (const entry_drops& drops : f.walk_.drops) {
        if (drops.added_any) {
            continue;
        }
        report_text what(" hands out no key: ");
        what << (drops.dropped == 1 ? "the one key"
                                    : "all " + count_of(drops.dropped, "key", "keys"))
             << " it asks for " << (drops.dropped == 1 ? "is" : "are") << " held already"
             << first_held(f.walk_, drops);
        f.add_for(rule::no_effect, drops.source, std::move(what), std::nullopt,
                  *f.walk_.entries[drops.first_held].key);
    }
}

// An entry that asked for keys already held, and added some of its own.
void find_shadowed_keys(finder& f) {
    for (const entry_drops& drops : f.walk_.drops) {
        if (!drops.added_any) {
            continue;
        }
        report_text what(": ");
        what << count_of(drops.dropped, "key", "keys") << " it asks for "
             << (drops.dropped == 1 ? "is" : "are") << " held already" << first_held(f.walk_, drops)
             << ", "
             << (drops.different == 0
                     ? std::string("with the same password")
                     : count_of(drops.different,
                                "with another password, which the earlier entry "
                                "keeps",
                                "with another password, which the earlier entries keep"));
        f.add_for(rule::shadowed_key, drops.source, std::move(what),
                  drops.different == 0 ? std::optional<severity>(severity::note) : std::nullopt,
                  *f.walk_.entries[drops.first_held].key);
    }
}

// Keys that name one host in two letter cases with different passwords. Host names are the same
// whatever their case, but the tools look a key up as it is written: which password the host gets
// depends on how a run spells it. Reported once for each entry that hands out such a variant.
void find_host_cases(finder& f) {
    const file_walk& walk = f.walk_;
    struct clash {
        std::size_t entry = 0;  // the variant, and the first key it clashes with
        std::size_t other = 0;
        std::size_t count = 0;
    };
    std::map<std::pair<member_id, std::size_t>, clash> by_source;
    // Only a host with a capital letter can be a variant of another; the rest need no copy.
    std::unordered_map<std::string, std::size_t> first_variant;
    for (std::size_t i = 0; i < walk.entries.size(); ++i) {
        const handed_entry& entry = walk.entries[i];
        const detail::key_parts parts = detail::split_key(*entry.key);
        if (std::none_of(parts.host.begin(), parts.host.end(),
                         [](char c) { return c >= 'A' && c <= 'Z'; })) {
            continue;
        }
        std::string lowered(*entry.key);
        for (std::size_t at = parts.user.size(); at < lowered.size(); ++at) {
            if (lowered[at] >= 'A' && lowered[at] <= 'Z') {
                lowered[at] = static_cast<char>(lowered[at] + ('a' - 'A'));
            }
        }
        const handed_entry* lower = find_entry(walk, lowered);
        const auto [variant, first] = first_variant.emplace(std::move(lowered), i);
        const handed_entry* other = lower != nullptr ? lower
                                    : first          ? nullptr
                                                     : &walk.entries[variant->second];
        if (other == nullptr || *other->value == *entry.value) {
            continue;
        }
        clash& found = by_source[{entry.source.member, entry.source.index}];
        if (found.count++ == 0) {
            found.entry = i;
            found.other = static_cast<std::size_t>(other - walk.entries.data());
        }
    }
    for (const auto& [source, found] : by_source) {
        const handed_entry& entry = walk.entries[found.entry];
        const handed_entry& other = walk.entries[found.other];
        report_text what(": its key ");
        what << key_text{*entry.key} << " names the host of " << key_text{*other.key} << " (by "
             << source_name(other.source);
        if (const text_position at = source_position(walk, other.source); at.known()) {
            what << ", " << line_and_column(at);
        }
        what << ") in other letters, with another password";
        if (found.count > 1) {
            what << "; so do " << count_of(found.count - 1, "more key", "more keys");
        }
        f.add_for(rule::host_case, entry.source, std::move(what), std::nullopt, *entry.key);
    }
}

void find_unused_credentials(finder& f) {
    const plain_text_info& record = f.walk_.record;
    std::unordered_set<std::string_view> used;
    for (const std::string& target : record.target_systems) {
        used.insert(detail::split_target_entry(target).alias);
    }
    used.insert(record.kms_credentials.begin(), record.kms_credentials.end());
    used.insert(record.bmc_credentials.begin(), record.bmc_credentials.end());
    for (const auto& [alias, text] : record.connection_credentials) {
        if (used.count(alias) == 0) {
            const alias_occurrence* occurrence = f.walk_.index.bound_alias(alias);
            report_text message("credential ");
            message << quoted(alias) << " is used by no target, KMS or BMC entry";
            f.add(rule::unused_credential, alias, std::move(message),
                  occurrence != nullptr ? occurrence->name_at : text_position{});
        }
    }
}

void find_no_colon(finder& f) {
    for (const auto& [alias, text] : f.walk_.record.connection_credentials) {
        if (text.find(':') == std::string::npos) {
            report_text message("credential ");
            message << quoted(alias)
                    << " has no ':': its whole text is taken as the user name, and its password "
                       "is empty";
            f.add(rule::no_colon, alias, std::move(message), credential_at(f.walk_, alias));
        }
    }
}

void find_empty_passwords(finder& f) {
    for (const auto& [alias, text] : f.walk_.record.connection_credentials) {
        if (text.find(':') != std::string::npos &&
            detail::split_credential(text).password.empty()) {
            report_text message("credential ");
            message << quoted(alias) << " has an empty password";
            f.add(rule::empty_password, alias, std::move(message), credential_at(f.walk_, alias));
            f.about({});
        }
    }
    // An empty password member is allowed and simply not handed out; said in case it was meant.
    for (const member_id member : {member_id::privpassword, member_id::newpassword}) {
        const std::string& password = member == member_id::privpassword
                                          ? f.walk_.record.privpassword
                                          : f.walk_.record.newpassword;
        if (f.walk_.members[static_cast<std::size_t>(member)].how == member_outcome::state::bound &&
            password.empty()) {
            report_text message(detail::member_key(member));
            message << " is empty, so it is not handed out";
            f.add(rule::empty_password, detail::member_key(member), std::move(message),
                  source_position(f.walk_, {member, 0}), std::nullopt, severity::note);
            f.about({});
        }
    }
}

void find_blank_users(finder& f) {
    for (const auto& [alias, text] : f.walk_.record.connection_credentials) {
        const std::string_view user = detail::split_credential(text).user;
        if (user.find_first_not_of(' ') == std::string_view::npos) {
            report_text message("credential ");
            message << quoted(alias) << " has " << (user.empty() ? "an empty" : "a blank")
                    << " user name: its keys read \"" << std::string(user) << "@host\"";
            f.add(rule::blank_user, alias, std::move(message), credential_at(f.walk_, alias));
        }
    }
}

bool padded(std::string_view text) {
    return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

// A user name or password with a space at either end: typed so, or pasted with one; the tools
// send it as it stands, spaces included.
void find_padded_text(finder& f) {
    for (const auto& [alias, text] : f.walk_.record.connection_credentials) {
        const std::string_view user = detail::split_credential(text).user;
        if (padded(user) && user.find_first_not_of(' ') != std::string_view::npos) {
            report_text message("the user name of credential ");
            message << quoted(alias) << " begins or ends with a space";
            f.add(rule::padded_text, alias + "\nuser", std::move(message),
                  credential_at(f.walk_, alias));
        }
    }
    for (const given_password& password : f.given()) {
        if (padded(password.password)) {
            report_text message("the password of ");
            message << password.owner << " begins or ends with a space";
            f.add(rule::padded_text, password.owner.raw() + "\npassword", std::move(message),
                  password.at);
            f.about(password.password);
        }
    }
}

// The first control character of `text` (C0, DEL or C1), or -1.
utf8proc_int32_t control_character_of(std::string_view text) {
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    for (std::size_t at = 0; at < text.size();) {
        utf8proc_int32_t c = -1;
        const utf8proc_ssize_t length =
            utf8proc_iterate(bytes + at, static_cast<utf8proc_ssize_t>(text.size() - at), &c);
        if (length > 0 && utf8proc_category(c) == UTF8PROC_CATEGORY_CC) {
            return c;
        }
        at += length > 0 ? static_cast<std::size_t>(length) : 1;
    }
    return -1;
}

// A control character in a user name or password: a tool that takes the text as a C string ends
// it at a NUL, and a terminal or a form field may drop or act on the others.
void find_control_characters(finder& f) {
    const auto said = [](utf8proc_int32_t c) { return c == 0 ? "a NUL" : "a control character"; };
    for (const auto& [alias, text] : f.walk_.record.connection_credentials) {
        const utf8proc_int32_t c = control_character_of(detail::split_credential(text).user);
        if (c >= 0) {
            report_text message("the user name of credential ");
            message << quoted(alias) << " holds " << said(c);
            f.add(rule::control_character, alias + "\nuser", std::move(message),
                  credential_at(f.walk_, alias));
        }
    }
    for (const given_password& password : f.given()) {
        const utf8proc_int32_t c = control_character_of(password.password);
        if (c >= 0) {
            report_text message("the password of ");
            message << password.owner << " holds " << said(c);
            f.add(rule::control_character, password.owner.raw() + "\npassword", std::move(message),
                  password.at);
            f.about(password.password);
        }
    }
}

// A target whose host is that of the KMS or BMC keys hands out a key of that form: the tools
// cannot tell it from the credential they look for there.
void find_reserved_hosts(finder& f) {
    const std::vector<std::string>& targets = f.walk_.record.target_systems;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string_view host = detail::split_target_entry(targets[i]).scope;
        if (f.walk_.expanded[i] > 0 && detail::is_reserved_key_host(host)) {
            report_text what(" hands out a key of the \"@");
            what << host << "\" form, which the tools read as a "
                 << (host == detail::KMS_KEY_HOST ? "KMS" : "BMC") << " credential";
            f.add_for(rule::reserved_host, {member_id::target_systems, i}, std::move(what));
        }
    }
}

// Many entries, counted against the entries' own text, so that comments and padding elsewhere in
// the file hide nothing.
void find_many_entries(finder& f) {
    const file_walk& walk = f.walk_;
    // Each target by its own scope's bytes, so that no text elsewhere (a long alias, comments,
    // padding) thins a network out: a few characters standing for a whole network are a finding
    // however large the file around them.
    const std::vector<std::string>& targets = walk.record.target_systems;
    for (std::size_t i = 0; i < targets.size() && i < walk.expanded.size(); ++i) {
        const std::size_t bytes =
            std::max<std::size_t>(detail::split_target_entry(targets[i]).scope.size(), 1);
        if (walk.expanded[i] >= CROWDED_ENTRIES && walk.expanded[i] / bytes >= ENTRIES_PER_BYTE) {
            report_text what(" stands for ");
            what << count_of(walk.expanded[i], "address", "addresses") << " in "
                 << count_of(bytes, "byte", "bytes") << " of host scope ("
                 << std::to_string(walk.expanded[i] / bytes) << " a byte): check its scope";
            f.add_for(rule::many_entries, {member_id::target_systems, i}, std::move(what));
        }
    }
    const std::size_t entries = walk.entries.size();
    if (entries <= f.settings_.max_entries) {
        return;
    }
    report_text message("the file hands out " + count_of(entries, "entry", "entries") +
                        ", more than the " + count_of(f.settings_.max_entries, "entry", "entries") +
                        " --max-entries allows");
    // Point at a target only when its scope stands for several addresses: with none, there is no
    // scope to check, only many entries.
    const auto largest = std::max_element(walk.expanded.begin(), walk.expanded.end());
    if (largest == walk.expanded.end() || *largest <= 1) {
        f.add(rule::many_entries, {}, std::move(message));
        return;
    }
    const entry_source source{member_id::target_systems,
                              static_cast<std::size_t>(largest - walk.expanded.begin())};
    message << "; the most come from " << described_source(walk, source) << " ("
            << count_of(*largest, "address", "addresses") << "): check its host scopes";
    f.add(rule::many_entries, {}, std::move(message), source_position(walk, source), source);
}

// The mode and owner of a stream (a pipe, a FIFO, a terminal) are those of the pipe or the
// device, not of a credential file: these rules do not apply to it.
bool is_file(const file_walk& walk) {
    return walk.file && !walk.file->stream;
}

void find_open_permissions(finder& f) {
    const file_walk& walk = f.walk_;
    if (f.settings_.check_file_mode && is_file(walk) && (walk.file->mode & 077) != 0) {
        char octal[16];
        std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(walk.file->mode & 07777));
        report_text message("permissions ");
        message << octal << " for " << quoted(walk.path)
                << " are too open; credential files should be readable by their owner only "
                   "(chmod 600)";
        f.add(rule::permissions, {}, std::move(message));
    }
}

void find_foreign_owner(finder& f) {
    const file_walk& walk = f.walk_;
    if (f.settings_.check_file_mode && is_file(walk) && walk.file->owner != ::geteuid() &&
        walk.file->owner != 0) {
        report_text message = quoted(walk.path);
        message << " is owned by user ID " << std::to_string(walk.file->owner)
                << ", neither you nor root: that user can change the credentials you use";
        f.add(rule::owner, {}, std::move(message));
    }
}

void find_hosts_without_keys(finder& f) {
    const coverage_report* coverage = f.settings_.coverage;
    if (coverage == nullptr) {
        return;
    }
    for (const coverage_gap& gap : coverage->gaps) {
        const inventory& in = coverage->inventories->inventories[gap.inventory];
        report_text message("no key for ");
        if (!gap.user.empty()) {
            message << "user " << quoted(gap.user) << " on ";
        }
        message << file_text{gap.hosts};
        if (gap.count > 1) {
            message << " (" << count_of(gap.count, "host", "hosts") << ")";
        }
        f.add(rule::no_credential, in.path + "\n" + gap.user + "\n" + gap.hosts, std::move(message),
              gap.at);
        f.in_file(in.path);
    }
    if (coverage->gap_hosts_not_listed > 0) {
        f.add(rule::no_credential, "more",
              report_text("and " +
                          count_of(coverage->gap_hosts_not_listed, "more inventory host",
                                   "more inventory hosts") +
                          " get no key, past the " + grouped(MOST_COVERAGE_RUNS) +
                          " runs listed (the coverage counts them all)"));
    }
}

void find_keys_outside(finder& f) {
    const coverage_report* coverage = f.settings_.coverage;
    if (coverage == nullptr) {
        return;
    }
    for (const outside_run& run : coverage->outside) {
        report_text what(": ");
        what << key_text{run.keys};
        what << (run.count > 1 ? " (" + count_of(run.count, "key", "keys") + ") reach hosts"
                               : std::string(" reaches a host"))
             << " in no inventory";
        f.add_for(rule::outside_inventory, run.source, std::move(what), std::nullopt, run.keys);
    }
    if (coverage->outside_keys_not_listed > 0) {
        f.add(rule::outside_inventory, "more",
              report_text("and " +
                          count_of(coverage->outside_keys_not_listed, "more key", "more keys") +
                          " for hosts in no inventory, past the " + grouped(MOST_COVERAGE_RUNS) +
                          " runs listed (the coverage counts them all)"));
    }
}

void find_inventory_problems(finder& f) {
    const coverage_report* coverage = f.settings_.coverage;
    if (coverage == nullptr) {
        return;
    }
    for (const inventory& in : coverage->inventories->inventories) {
        for (const inventory_problem& problem : in.problems) {
            report_text message = problem.message;
            message << "; skipped";
            f.add(rule::inventory_problem, in.path + "\n" + problem.message.raw(),
                  std::move(message), problem.at);
            f.in_file(in.path);
        }
    }
}

}  // namespace

constexpr std::array<rule_info, RULE_COUNT> RULES = {{
    {rule::parse_error, "parse-error", severity::error, "The file is no credential document",
     "The text does not parse as JSON under the credential file's rules (comments allowed, no "
     "trailing commas, valid UTF-8, at most 32 levels): the tool family receives nothing from it.",
     find_parse_error},
    {rule::unusable_member, "unusable-member", severity::error,
     "A member has the wrong shape and is ignored",
     "A member of the file is present but not of the shape it must have (an object of strings, "
     "an array of strings, a string): the tool family ignores it whole.",
     find_unusable_members},
    {rule::duplicate_member, "duplicate-member", severity::warning,
     "A member or alias is given twice",
     "The same name stands twice in one object: the tool family gets the last one, and the "
     "earlier one (a whole list, a password) is silently dropped.",
     find_duplicate_members},
    {rule::unknown_member, "unknown-member", severity::warning,
     "A member the file format does not have",
     "The file format has no member of that name, so the tool family ignores it; often a typo of "
     "a member that is then missing.",
     find_unknown_members},
    {rule::unknown_alias, "unknown-alias", severity::warning,
     "An entry names an alias that has no credential",
     "The entry is skipped: no key is handed out for it.", find_unknown_aliases},
    {rule::rejected_scope, "rejected-scope", severity::warning,
     "A host scope that cannot be expanded",
     "spread_scope_ip refuses the target's host scope: the entry is skipped and logged.",
     find_rejected_scopes},
    {rule::shadowed_key, "shadowed-key", severity::warning,
     "An entry asks for keys that earlier entries hold",
     "The first value stored under a key wins: the later entry's values for those keys are "
     "dropped (a note when they are the same password).",
     find_shadowed_keys},
    {rule::host_case, "host-case", severity::warning,
     "One host in two letter cases with different passwords",
     "Host names are the same whatever their case, but the tools look keys up as written: the "
     "password a host gets depends on how a run spells its name.",
     find_host_cases},
    {rule::no_effect, "no-effect", severity::warning, "An entry that hands out no key",
     "Every key the entry asks for is already held by earlier entries, so it changes nothing.",
     find_no_effect},
    {rule::unused_credential, "unused-credential", severity::warning, "A credential no entry uses",
     "No target, KMS or BMC entry names the alias, so its credential is handed out nowhere.",
     find_unused_credentials},
    {rule::no_colon, "no-colon", severity::warning, "A credential without ':'",
     "The whole text is taken as the user name and the password is empty.", find_no_colon},
    {rule::empty_password, "empty-password", severity::warning,
     "A credential with an empty password", "The credential hands out an empty password.",
     find_empty_passwords},
    {rule::blank_user, "blank-user", severity::warning, "A credential with a blank user name",
     "The user name is empty or only spaces: its keys read \"@host\", which no account answers.",
     find_blank_users},
    {rule::padded_text, "padded-text", severity::warning,
     "A user name or password that begins or ends with a space",
     "The tools send the text as it stands, spaces included: most often a slip of the editor or "
     "of a paste.",
     find_padded_text},
    {rule::control_character, "control-character", severity::warning,
     "A user name or password holding a control character",
     "A NUL ends the text for every tool that reads it as a C string; other control characters "
     "are dropped or acted on by terminals and forms.",
     find_control_characters},
    {rule::reserved_host, "reserved-host", severity::warning,
     "A target whose host is kmsid or bmc-password",
     "Its key has the form of a KMS or BMC credential, which the tools cannot tell apart.",
     find_reserved_hosts},
    {rule::many_entries, "many-entries", severity::warning, "The file hands out very many entries",
     "More entries than --max-entries (100,000 unless given), or a target whose few characters "
     "of scope stand for a whole network (10,000 addresses and more, 100 a byte of its scope).",
     find_many_entries},
    {rule::reused_password, "reused-password", severity::warning,
     "One password under several aliases or users",
     "A password given to several credentials, of this file or of an earlier file of the run: "
     "whoever learns one has them all.",
     find_reused_passwords},
    {rule::password_in_name, "password-in-name", severity::warning,
     "A password inside a name of the file",
     "The password is, stands inside or holds its user name or its alias, is another "
     "credential's user name, or stands inside a host name of the file: names are shown and "
     "logged where passwords are not.",
     find_passwords_in_names},
    {rule::weak_password, "weak-password", severity::warning,
     "A password that takes few guesses (--strict)",
     "zxcvbn-c's estimate of the guesses a password takes, knowing the entry's own names, below "
     "--min-password-bits.",
     find_weak_passwords},
    {rule::permissions, "permissions", severity::warning, "The file can be read by others",
     "Credential files should be readable by their owner only (chmod 600). Not checked in a git "
     "work tree unless --check-file-mode asks, as git keeps no mode and a clone's files have the "
     "umask's; nor for a stream (a pipe, a FIFO, standard input from either), whose mode is not "
     "a file's.",
     find_open_permissions},
    {rule::owner, "owner", severity::warning, "The file belongs to neither you nor root",
     "Its owner can change the credentials you use. Not checked in a git work tree unless "
     "--check-file-mode asks, as git keeps no owner and a clone's files are the cloner's; nor "
     "for a stream (a pipe, a FIFO, standard input from either), whose owner is not a file's.",
     find_foreign_owner},
    {rule::no_credential, "no-credential", severity::warning,
     "An inventory host that gets no key (--inventory)",
     "The file hands out no key for a host of the inventory: for the user the inventory names "
     "(ansible_user, user@), else for any user. A host given an address there is matched by "
     "keys for that address and for its name; no name is resolved.",
     find_hosts_without_keys},
    {rule::outside_inventory, "outside-inventory", severity::warning,
     "Keys for hosts in no inventory (--inventory)",
     "The entry hands out keys for hosts that no inventory names: a host gone from the fleet, or "
     "one the inventory misses.",
     find_keys_outside},
    {rule::inventory_problem, "inventory-problem", severity::warning,
     "An inventory line that cannot be used (--inventory)",
     "A line of an inventory that is malformed, or a host range past the 65,536 hosts a scope of "
     "the credential file may stand for: it is skipped, and its hosts are not counted.",
     find_inventory_problems},
    {rule::invalid_suppression, "invalid-suppression", severity::warning,
     "A suppression comment that cannot be used",
     "A '// credcheck-ignore RULE[,RULE]: reason (until YYYY-MM-DD)' comment without a reason, "
     "naming no rule or one that does not exist, or with an end that is no date: it accepts "
     "nothing.",
     nullptr},
    {rule::expired_suppression, "expired-suppression", severity::warning,
     "A suppression comment past its end date",
     "The day its '(until YYYY-MM-DD)' names is over: it accepts nothing, and its findings "
     "count again.",
     nullptr},
    {rule::unused_suppression, "unused-suppression", severity::warning,
     "A suppression that accepts no finding",
     "Nothing it names is found on the line it speaks for (its own line for a trailing comment, "
     "else the next): the finding is fixed or has moved, and the comment would hide a new one.",
     nullptr},
}};

static_assert(
    [] {
        for (std::size_t i = 0; i < RULE_COUNT; ++i) {
            if (RULES[i].which != static_cast<rule>(i)) {
                return false;
            }
        }
        return true;
    }(),
    "the table's rows follow rule");

const rule_info* find_rule(std::string_view id) {
    for (const rule_info& info : RULES) {
        if (info.id == id) {
            return &info;
        }
    }
    return nullptr;
}

bool is_ignored(const finding_settings& settings, rule which) {
    return std::find(settings.ignored.begin(), settings.ignored.end(), info_of(which).id) !=
           settings.ignored.end();
}

std::vector<finding> find_findings(const file_walk& walk, const finding_settings& settings) {
    finder f(walk, settings);
    for (const rule_info& info : RULES) {
        if (info.check != nullptr && !is_ignored(settings, info.which)) {
            info.check(f);
        }
    }
    std::vector<finding> found = f.take();
    // Each file's comments accept the findings that stand in it: the credential file's first,
    // then each inventory's, in the order of the command line.
    std::vector<finding> elsewhere;
    std::size_t own = 0;
    for (finding& x : found) {
        if (x.file.empty()) {
            if (&found[own] != &x) {
                found[own] = std::move(x);
            }
            ++own;
        } else {
            elsewhere.push_back(std::move(x));
        }
    }
    found.erase(found.begin() + static_cast<std::ptrdiff_t>(own), found.end());
    apply_suppressions(walk.index, found, settings);
    if (settings.coverage != nullptr) {
        for (const inventory& in : settings.coverage->inventories->inventories) {
            std::vector<finding> own;
            for (finding& x : elsewhere) {
                if (x.file == in.path && x.rule != nullptr) {
                    own.push_back(std::move(x));
                    x.rule = nullptr;
                }
            }
            apply_suppressions(in.comments, own, settings);
            for (finding& x : own) {
                x.file = in.path;
                found.push_back(std::move(x));
            }
        }
    }
    return found;
}

}  // namespace credcheck
