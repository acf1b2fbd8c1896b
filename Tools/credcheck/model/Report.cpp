#include "model/Report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include <Corvex/CorvexResultCatalogue.h>
#include <Kelvor/Addrkit.h>
#include <PlainTextFileParser/detail/SecretMemory.h>

namespace credcheck {

namespace {

namespace detail = plain_text_detail;

bool same_ignoring_case(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// The host as the keys write it: an address written as a scope of one address ("[FE80::1]")
// becomes the address text parse hands out ("fe80::1"); anything else stays as given.
std::string key_form(const std::string& host) {
    std::vector<std::string> addresses;
    if (Kelvor::Addrkit::spread_scope_ip(host, addresses) && addresses.size() == 1) {
        return addresses.front();
    }
    return host;
}

// The findings of `level` that no suppression accepts.
std::size_t count_findings(const std::vector<finding>& findings, severity level) {
    return static_cast<std::size_t>(
        std::count_if(findings.begin(), findings.end(),
                      [&](const finding& f) { return f.level == level && !f.accepted; }));
}

report_summary summarize(const file_report& r) {
    const file_walk& walk = r.walk;
    report_summary summary;
    summary.entries = walk.entries.size();
    summary.shadowed = walk.shadowed.size();
    summary.unknown_aliases = walk.unknown_aliases.size();
    summary.rejected_scopes = walk.rejected_scopes.size();
    summary.unusable_members = static_cast<std::size_t>(std::count_if(
        walk.members.begin(), walk.members.end(),
        [](const member_outcome& m) { return m.how == member_outcome::state::unusable; }));
    summary.accepted = static_cast<std::size_t>(std::count_if(
        r.findings.begin(), r.findings.end(), [](const finding& f) { return f.accepted; }));
    summary.findings = r.findings.size() - summary.accepted;
    summary.errors = count_findings(r.findings, severity::error);
    summary.warnings = count_findings(r.findings, severity::warning);
    summary.notes = count_findings(r.findings, severity::note);
    return summary;
}

// What a member that bound holds, in words.
std::string bound_items(member_id id, std::size_t items) {
    if (items == 0) {
        return "empty (hands out nothing)";
    }
    switch (detail::facts_of(id).kind) {
        case detail::member_kind::password:
            return "set";
        case detail::member_kind::credentials:
            return count_of(items, "credential", "credentials");
        case detail::member_kind::list:
            break;
    }
    return id == member_id::target_systems ? count_of(items, "target", "targets")
                                           : count_of(items, "alias", "aliases");
}

member_state state_of(member_id id, const member_outcome& outcome) {
    using state = member_outcome::state;
    member_state described{id, outcome, {}, {}};
    switch (outcome.how) {
        case state::not_reached:
            described.name = "not_read";
            described.description = "not read";
            break;
        case state::absent:
            described.name = "absent";
            described.description = "absent (optional: hands out nothing)";
            break;
        case state::unusable:
            described.name = "unusable";
            break;
        case state::bound:
            described.name = "bound";
            described.description = bound_items(id, outcome.items);
            break;
    }
    return described;
}

// The members whose entries make the table of sources, in its order.
constexpr member_id SOURCE_ORDER[] = {member_id::target_systems, member_id::kms_credentials,
                                      member_id::bmc_credentials, member_id::privpassword,
                                      member_id::newpassword};

// How many sources a member gives: its list's entries, or one for a password member.
std::size_t sources_of(const file_walk& walk, member_id member) {
    const std::vector<std::string>* list = detail::member_list(walk.record, member);
    return list != nullptr ? list->size() : 1;
}

// FNV-1a, 64 bits: a hash that is the same on every machine and in every run.
std::uint64_t fnv1a(std::string_view text, std::uint64_t hash = 0xcbf29ce484222325ULL) {
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace

namespace {

// Applies --baseline and --write-baseline to the findings of `r`.
void accept_by_baseline(file_report& r, const report_settings& settings) {
    const secret_mask own = mask_for(r.walk, false);
    if (settings.accepted_by != nullptr) {
        settings.accepted_by->apply(r.walk.path, r.findings, own, settings.key, settings.findings);
    }
    if (settings.baseline_out == nullptr) {
        return;
    }
    static const baseline none;
    const baseline& earlier = settings.accepted_by != nullptr ? *settings.accepted_by : none;
    for (finding& f : r.findings) {
        const bool in_source = f.accepted && f.accepted->how == acceptance::kind::in_source;
        if (in_source || !can_be_baselined(f.rule->which)) {
            continue;
        }
        settings.baseline_out->push_back(earlier.entry_for(r.walk.path, f, own, settings.key));
        if (!f.accepted) {
            f.accepted = acceptance{acceptance::kind::baseline, {}, {}};
        }
    }
}

}  // namespace

report_text password_text(std::string_view value, bool reveal) {
    report_text shown;
    if (reveal) {
        shown << file_text{value};
    } else {
        shown << PASSWORD_MASK;
    }
    return shown;
}

report_text file_report::password(std::string_view value) const {
    if (fingerprints && !reveal) {
        return report_text(fingerprints->digest(value).substr(0, 16));
    }
    return password_text(value, reveal);
}

std::string input_path(const std::string& file) {
    // Standard input is opened afresh by its path, as any file: a pipe or a terminal is the same
    // stream, and a file that standard input is redirected from is read whole, from its start,
    // as that file.
    return file == "-" ? "/dev/stdin" : file;
}

file_report build_report(file_walk walk, const report_settings& settings,
                         std::shared_ptr<const secret_mask> mask) {
    file_report r(std::move(walk));
    if (settings.inventories != nullptr && !r.walk.refusal) {
        r.coverage = cover(*settings.inventories, r.walk);
        finding_settings with_coverage = settings.findings;
        with_coverage.coverage = &*r.coverage;
        r.findings = find_findings(r.walk, with_coverage);
    } else {
        r.findings = find_findings(r.walk, settings.findings);
    }
    if (settings.accepted_by != nullptr || settings.baseline_out != nullptr) {
        accept_by_baseline(r, settings);
    }
    std::copy_if(r.walk.records.begin(), r.walk.records.end(), std::back_inserter(r.records),
                 [&settings](const Kelvor::LogRecord& record) {
                     return settings.verbose || record.level <= QUIET_LOG_LEVEL;
                 });
    r.summary = summarize(r);
    for (std::size_t i = 0; i < MEMBER_COUNT; ++i) {
        r.members[i] = state_of(static_cast<member_id>(i), r.walk.members[i]);
    }
    if (settings.host) {
        r.host = key_form(*settings.host);
    }
    r.mask = std::move(mask);
    r.reveal = settings.reveal;
    if (settings.fingerprints && settings.key != nullptr) {
        r.fingerprints.emplace(*settings.key);
    }
    r.verbose = settings.verbose;
    r.all_keys = settings.all_keys;
    return r;
}

void add_secrets(const file_walk& walk, std::vector<std::string_view>& secrets) {
    secrets.insert(secrets.end(), walk.index.secrets.begin(), walk.index.secrets.end());
}

secret_mask mask_for(const std::vector<std::string_view>& secrets, bool reveal) {
    if (reveal) {
        return secret_mask();
    }
    // A password that holds "~" or "/" is spelled otherwise where the report names a member by
    // its JSON pointer ("~0", "~1"): that spelling is masked too.
    // (json_pointer_append would escape it as well, through copies nobody wipes.)
    std::vector<detail::secret_string, detail::wiping_allocator<detail::secret_string>>
        pointer_spellings;
    for (const std::string_view secret : secrets) {
        if (secret.find_first_of("~/") == std::string_view::npos) {
            continue;
        }
        detail::secret_string& spelling = pointer_spellings.emplace_back();
        for (const char c : secret) {
            spelling += c == '~' ? "~0" : c == '/' ? "~1" : std::string_view(&c, 1);
        }
    }
    std::vector<std::string_view> masked = secrets;
    masked.insert(masked.end(), pointer_spellings.begin(), pointer_spellings.end());
    return secret_mask(masked);
}

secret_mask mask_for(const file_walk& walk, bool reveal) {
    std::vector<std::string_view> secrets;
    add_secrets(walk, secrets);
    return mask_for(secrets, reveal);
}

result_description describe_result(int code) {
    result_description description;
    const std::optional<result_code_entry> entry = find_result_code(code);
    description.name = entry ? std::string(entry->name) : "(unknown)";
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X",
                  static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    description.hex = hex;
    description.message = lookup_result_message(code).value_or("");
    return description;
}

std::vector<const handed_entry*> shown_entries(const file_report& r) {
    std::vector<const handed_entry*> shown;
    for (const handed_entry& entry : r.walk.entries) {
        if (!r.host || detail::split_key(*entry.key).host == *r.host) {
            shown.push_back(&entry);
        }
    }
    return shown;
}

std::vector<const handed_entry*> case_variants(const file_report& r) {
    std::vector<const handed_entry*> variants;
    if (!r.host) {
        return variants;
    }
    for (const handed_entry& entry : r.walk.entries) {
        const std::string_view host = detail::split_key(*entry.key).host;
        if (host != *r.host && same_ignoring_case(host, *r.host)) {
            variants.push_back(&entry);
        }
    }
    return variants;
}

const shadowed_key* shadow_of(const file_report& r, std::size_t index) {
    const std::vector<shadowed_key>& shadowed = r.walk.shadowed;
    const auto found = std::lower_bound(
        shadowed.begin(), shadowed.end(), index,
        [](const shadowed_key& key, std::size_t wanted) { return key.entry < wanted; });
    return found != shadowed.end() && found->entry == index ? &*found : nullptr;
}

std::size_t source_number(const file_walk& walk, entry_source source) {
    std::size_t before = 0;
    for (const member_id member : SOURCE_ORDER) {
        if (member == source.member) {
            return before + source.index;
        }
        before += sources_of(walk, member);
    }
    return before;
}

std::size_t source_count(const file_walk& walk) {
    std::size_t count = 0;
    for (const member_id member : SOURCE_ORDER) {
        count += sources_of(walk, member);
    }
    return count;
}

bool source_quotes::quote(entry_source source) {
    // An entry's text up to this long is quoted again and again: that reads best.
    constexpr std::size_t QUOTED_AGAIN_UP_TO = 64;
    const std::size_t number = source_number(walk_, source);
    const bool first = !quoted_[number];
    quoted_[number] = true;
    return first || source_entry(walk_, source).size() <= QUOTED_AGAIN_UP_TO;
}

entry_source source_numbered(const file_walk& walk, std::size_t number) {
    for (const member_id member : SOURCE_ORDER) {
        const std::size_t count = sources_of(walk, member);
        if (number < count) {
            return {member, number};
        }
        number -= count;
    }
    return {SOURCE_ORDER[0], number};
}

std::vector<std::uint64_t> fingerprints(const file_report& r) {
    // Masked with the file's own passwords, --reveal or not, so that a fingerprint neither
    // changes when another file joins the run nor shows a password to whoever reads the log.
    const secret_mask own = mask_for(r.walk, false);
    std::map<std::pair<std::string_view, std::string>, std::size_t> seen;
    std::vector<std::uint64_t> hashes;
    hashes.reserve(r.findings.size());
    const std::string separator(1, '\0');
    for (const finding& f : r.findings) {
        std::string subject = own.apply(f.subject);
        const std::size_t ordinal = seen[{f.rule->id, subject}]++;
        hashes.push_back(fnv1a(std::string(f.rule->id) + separator + subject + separator +
                               std::to_string(ordinal)));
        detail::wipe_string(subject);
    }
    return hashes;
}

bool has_findings(const file_report& r) {
    return r.walk.result.code != RESULT_SUCCEED || r.summary.errors > 0 || r.summary.warnings > 0;
}

}  // namespace credcheck
