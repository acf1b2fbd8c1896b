#include "Report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
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

// The path the walk reads for `file`. Standard input is opened afresh by its path, as any file:
// a pipe or a terminal is the same stream, and a file that standard input is redirected from is
// read whole, from its start, as that file.
std::string input_path(const std::string& file) {
    return file == STANDARD_INPUT ? "/dev/stdin" : file;
}

}  // namespace

std::string input_name(const std::string& file, const options& opts) {
    return file == STANDARD_INPUT ? opts.stdin_name.value_or(file) : file;
}

file_walk walk_input(const std::string& file, const options& opts) {
    file_walk walk = walk_file(input_path(file));
    walk.path = input_name(file, opts);
    return walk;
}

report build_report(const std::string& file, const options& opts) {
    return build_report(walk_input(file, opts), opts);
}

report build_report(file_walk walk, const options& opts) {
    report r(std::move(walk));
    r.findings = find_findings(
        r.walk, {opts.max_entries, opts.strict, opts.max_password_checks, opts.ignore});
    std::copy_if(r.walk.records.begin(), r.walk.records.end(), std::back_inserter(r.records),
                 [&opts](const Kelvor::LogRecord& record) {
                     return opts.verbose || record.level <= QUIET_LOG_LEVEL;
                 });
    if (opts.host) {
        r.host = key_form(*opts.host);
    }
    r.mask = mask_for({&r.walk}, opts.reveal);
    r.reveal = opts.reveal;
    r.verbose = opts.verbose;
    r.all_keys = opts.all_keys;
    return r;
}

secret_mask mask_for(const std::vector<const file_walk*>& walks, bool reveal) {
    if (reveal) {
        return secret_mask();
    }
    std::vector<std::string_view> secrets;
    // A password that holds "~" or "/" is spelled otherwise where the report names a member by
    // its JSON pointer ("~0", "~1"): that spelling is masked too.
    // (json_pointer_append would escape it as well, through copies nobody wipes.)
    std::vector<detail::secret_string, detail::wiping_allocator<detail::secret_string>>
        pointer_spellings;
    for (const file_walk* walk : walks) {
        secrets.insert(secrets.end(), walk->index.secrets.begin(), walk->index.secrets.end());
        for (const std::string& secret : walk->index.secrets) {
            if (secret.find_first_of("~/") == std::string::npos) {
                continue;
            }
            detail::secret_string& spelling = pointer_spellings.emplace_back();
            for (const char c : secret) {
                spelling += c == '~' ? "~0" : c == '/' ? "~1" : std::string_view(&c, 1);
            }
        }
    }
    secrets.insert(secrets.end(), pointer_spellings.begin(), pointer_spellings.end());
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

std::size_t findings_of(const report& r, severity level) {
    return static_cast<std::size_t>(std::count_if(
        r.findings.begin(), r.findings.end(), [&](const finding& f) { return f.level == level; }));
}

bool has_findings(const report& r) {
    return r.walk.result.code != RESULT_SUCCEED || findings_of(r, severity::error) > 0 ||
           findings_of(r, severity::warning) > 0;
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

}  // namespace credcheck
