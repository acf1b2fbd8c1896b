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

void add_file_warnings(const file_walk& walk, std::vector<warning>& warnings) {
    if (!walk.file) {
        return;
    }
    if ((walk.file->mode & 077) != 0) {
        char octal[16];
        std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(walk.file->mode & 07777));
        warnings.push_back({"permissions", "permissions " + std::string(octal) + " for " +
                                               quoted(walk.path) +
                                               " are too open; credential files should be "
                                               "readable by their owner only (chmod 600)"});
    }
    if (walk.file->owner != ::geteuid() && walk.file->owner != 0) {
        warnings.push_back(
            {"owner", quoted(walk.path) + " is owned by user ID " +
                          std::to_string(walk.file->owner) +
                          ", neither you nor root: that user can change the credentials you use"});
    }
}

void add_credential_warnings(const file_walk& walk, std::vector<warning>& warnings) {
    for (const auto& [alias, text] : walk.record.connection_credentials) {
        if (text.find(':') == std::string::npos) {
            warnings.push_back({"no-colon", "credential " + quoted(alias) +
                                                " has no ':': its whole text is taken as the "
                                                "user name, and its password is empty"});
        } else if (plain_text_detail::split_credential(text).password.empty()) {
            warnings.push_back(
                {"empty-password", "credential " + quoted(alias) + " has an empty password"});
        }
    }
}

// A target whose host is that of the KMS or BMC keys hands out a key of that form: the tools
// cannot tell it from the credential they look for there.
void add_reserved_host_warnings(const file_walk& walk, std::vector<warning>& warnings) {
    const std::vector<std::string>& targets = walk.record.target_systems;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string_view host = plain_text_detail::split_target_entry(targets[i]).scope;
        if (walk.expanded[i] > 0 && plain_text_detail::is_reserved_key_host(host)) {
            warnings.push_back(
                {"reserved-host", source_name({member_id::target_systems, i}) + " " +
                                      quoted(targets[i]) + " hands out a key of the \"@" +
                                      std::string(host) + "\" form, which the tools read as a " +
                                      (host == plain_text_detail::KMS_KEY_HOST ? "KMS" : "BMC") +
                                      " credential"});
        }
    }
}

void add_size_warning(const file_walk& walk, std::vector<warning>& warnings) {
    const std::size_t entries = walk.entries.size();
    const std::size_t bytes = walk.file ? std::max<std::size_t>(walk.file->bytes, 1) : 1;
    const bool crowded = entries >= CROWDED_ENTRIES && entries / bytes >= ENTRIES_PER_BYTE;
    if (entries > MANY_ENTRIES || crowded) {
        warnings.push_back({"many-entries", "the file hands out " + grouped(entries) +
                                                " entries from " + grouped(bytes) + " bytes (" +
                                                grouped(entries / bytes) +
                                                " per byte): check its host scopes"});
    }
}

bool same_host(std::string_view a, std::string_view b) {
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
    if (!opts.reveal) {
        r.mask = secret_mask(walk.secrets);
    }
    r.walk = std::move(walk);
    r.reveal = opts.reveal;
    r.verbose = opts.verbose;
    return r;
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

std::string shown_password(const std::string& password, bool reveal) {
    return reveal ? password : std::string(PASSWORD_MASK);
}

std::vector<const handed_entry*> shown_entries(const report& r) {
    std::vector<const handed_entry*> shown;
    for (const handed_entry& entry : r.walk.entries) {
        if (!r.host || same_host(plain_text_detail::split_key(entry.key).host, *r.host)) {
            shown.push_back(&entry);
        }
    }
    return shown;
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

}  // namespace credcheck
