#include "Report.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <utility>

#include <Corvex/CorvexResultCatalogue.h>
#include <Kelvor/Addrkit.h>

namespace credcheck {

namespace {

namespace detail = plain_text_detail;

void add_file_warnings(const file_walk& walk, std::vector<warning>& warnings) {
    if (!walk.file) {
        return;
    }
    if ((walk.file->mode & 077) != 0) {
        char octal[16];
        std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(walk.file->mode & 07777));
        report_text message;
        message << "permissions " << octal << " for " << quoted(walk.path)
                << " are too open; credential files should be readable by their owner only "
                   "(chmod 600)";
        warnings.push_back({"permissions", std::move(message)});
    }
    if (walk.file->owner != ::geteuid() && walk.file->owner != 0) {
        report_text message;
        message << quoted(walk.path) << " is owned by user ID " << std::to_string(walk.file->owner)
                << ", neither you nor root: that user can change the credentials you use";
        warnings.push_back({"owner", std::move(message)});
    }
}

void add_credential_warnings(const file_walk& walk, std::vector<warning>& warnings) {
    for (const auto& [alias, text] : walk.record.connection_credentials) {
        if (text.find(':') == std::string::npos) {
            report_text message;
            message << "credential " << quoted(alias)
                    << " has no ':': its whole text is taken as the user name, and its password "
                       "is empty";
            warnings.push_back({"no-colon", std::move(message)});
        } else if (detail::split_credential(text).password.empty()) {
            report_text message;
            message << "credential " << quoted(alias) << " has an empty password";
            warnings.push_back({"empty-password", std::move(message)});
        }
    }
}

// A target whose host is that of the KMS or BMC keys hands out a key of that form: the tools
// cannot tell it from the credential they look for there.
void add_reserved_host_warnings(const file_walk& walk, std::vector<warning>& warnings) {
    const std::vector<std::string>& targets = walk.record.target_systems;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string_view host = detail::split_target_entry(targets[i]).scope;
        if (walk.expanded[i] > 0 && detail::is_reserved_key_host(host)) {
            report_text message;
            message << described_source(walk, {member_id::target_systems, i})
                    << " hands out a key of the \"@" << host
                    << "\" form, which the tools read as a "
                    << (host == detail::KMS_KEY_HOST ? "KMS" : "BMC") << " credential";
            warnings.push_back({"reserved-host", std::move(message)});
        }
    }
}

void add_size_warning(const file_walk& walk, std::vector<warning>& warnings) {
    const std::size_t entries = walk.entries.size();
    const std::size_t bytes = walk.file ? std::max<std::size_t>(walk.file->bytes, 1) : 1;
    const bool crowded = entries >= CROWDED_ENTRIES && entries / bytes >= ENTRIES_PER_BYTE;
    if (entries > MANY_ENTRIES || crowded) {
        warnings.push_back({"many-entries", report_text("the file hands out " + grouped(entries) +
                                                        " entries from " + grouped(bytes) +
                                                        " bytes (" + grouped(entries / bytes) +
                                                        " per byte): check its host "
                                                        "scopes")});
    }
}

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

}  // namespace

report build_report(const options& opts) {
    return build_report(walk_file(opts.file), opts);
}

report build_report(file_walk walk, const options& opts) {
    report r;
    add_file_warnings(walk, r.warnings);
    add_credential_warnings(walk, r.warnings);
    add_reserved_host_warnings(walk, r.warnings);
    add_size_warning(walk, r.warnings);
    std::copy_if(walk.records.begin(), walk.records.end(), std::back_inserter(r.records),
                 [&opts](const Kelvor::LogRecord& record) {
                     return opts.verbose || record.level <= QUIET_LOG_LEVEL;
                 });
    if (opts.host) {
        r.host = key_form(*opts.host);
    }
    r.mask = mask_for({&walk}, opts.reveal);
    r.walk = std::move(walk);
    r.reveal = opts.reveal;
    r.verbose = opts.verbose;
    r.all_keys = opts.all_keys;
    return r;
}

secret_mask mask_for(const std::vector<const file_walk*>& walks, bool reveal) {
    if (reveal) {
        return secret_mask();
    }
    std::vector<std::string> secrets;
    for (const file_walk* walk : walks) {
        secrets.insert(secrets.end(), walk->index.secrets.begin(), walk->index.secrets.end());
    }
    return secret_mask(secrets);
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

std::string_view shown_password(std::string_view password, bool reveal) {
    return reveal ? password : PASSWORD_MASK;
}

std::vector<const handed_entry*> shown_entries(const report& r) {
    std::vector<const handed_entry*> shown;
    for (const handed_entry& entry : r.walk.entries) {
        if (!r.host || detail::split_key(*entry.key).host == *r.host) {
            shown.push_back(&entry);
        }
    }
    return shown;
}

std::vector<const handed_entry*> case_variants(const report& r) {
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

std::size_t unusable_members(const file_walk& walk) {
    return static_cast<std::size_t>(std::count_if(
        walk.members.begin(), walk.members.end(),
        [](const member_outcome& m) { return m.how == member_outcome::state::unusable; }));
}

bool has_findings(const report& r) {
    const file_walk& walk = r.walk;
    return walk.result.code != RESULT_SUCCEED || !r.warnings.empty() || !walk.shadowed.empty() ||
           !walk.unknown_aliases.empty() || !walk.rejected_scopes.empty() ||
           unusable_members(walk) > 0 || walk.document_error.has_value() ||
           walk.refusal.has_value();
}

int exit_status_for(const report& r, const options& opts) {
    if (r.walk.refusal) {
        return EXIT_TROUBLE;
    }
    if (r.walk.result.code != RESULT_SUCCEED || (opts.strict && has_findings(r))) {
        return EXIT_FINDINGS;
    }
    if (r.host && shown_entries(r).empty()) {
        return EXIT_FINDINGS;
    }
    return EXIT_CLEAN;
}

std::string grouped(std::size_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

report_text described_source(const file_walk& walk, entry_source source) {
    report_text text(source_name(source));
    if (!detail::is_password_member(source.member)) {
        text << " " << quoted(source_entry(walk, source));
    }
    return text;
}

}  // namespace credcheck
