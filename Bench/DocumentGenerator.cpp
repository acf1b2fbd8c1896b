#include "DocumentGenerator.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace ptfp_bench {
namespace {

// Numbers straight from the engine. The modulo's bias is far below anything a benchmark could
// notice, and unlike the standard distributions it gives the same numbers everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}

    /// 0 to n - 1; n > 0.
    std::uint64_t below(std::uint64_t n) { return engine_() % n; }
    /// lo to hi inclusive; lo <= hi.
    std::uint64_t between(std::uint64_t lo, std::uint64_t hi) { return lo + below(hi - lo + 1); }
    /// True with a chance of `per_mille` in 1000.
    bool chance(unsigned per_mille) { return below(1000) < per_mille; }
    /// `count` random bits (at most 32) as a number.
    std::uint32_t bits(unsigned count) {
        return static_cast<std::uint32_t>(engine_() >> (64 - count));
    }

private:
    std::mt19937_64 engine_;
};

// Shares of the host-scope forms among the target entries, out of 10000. The multi-address forms
// are rare enough that a document of 120,000 targets hands out about 200,000 entries.
struct FormShare {
    ScopeForm form;
    unsigned share;
};
constexpr FormShare FORM_SHARES[] = {
    {ScopeForm::ipv4, 7042},           {ScopeForm::ipv6, 900},     {ScopeForm::short_range, 520},
    {ScopeForm::long_range, 13},       {ScopeForm::cidr, 15},      {ScopeForm::host_name, 1000},
    {ScopeForm::host_name_range, 260}, {ScopeForm::rejected, 250},
};

// Shares of the alias choices of a target entry, out of 1000; the rest name a known credential.
constexpr unsigned REPEAT_SHARE = 15;   // an earlier entry's scope again
constexpr unsigned UNKNOWN_SHARE = 40;  // an alias that names no credential
constexpr unsigned BARE_SHARE = 30;     // no alias: "default_alias"
constexpr std::size_t TARGETS_PER_COMMENT = 500;

constexpr char PASSWORD_CHARS[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!#$%&*+-=?^_~.,;@";
// Characters that the document must escape; rare in passwords.
constexpr char ESCAPED_CHARS[] = "\"\\/";

std::string padded(std::uint64_t number, unsigned width) {
    std::string digits = std::to_string(number);
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return digits;
}

std::string hex_group(std::uint16_t group, bool upper_full) {
    static const char lower[] = "0123456789abcdef";
    static const char upper[] = "0123456789ABCDEF";
    const char* digits = upper_full ? upper : lower;
    std::string text;
    bool started = upper_full;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const unsigned nibble = (group >> shift) & 0xfu;
        if (nibble != 0 || started || shift == 0) {
            text += digits[nibble];
            started = true;
        }
    }
    return text;
}

std::string random_password(Random& rng) {
    const std::size_t length = rng.between(10, 24);
    std::string password;
    password.reserve(length + 2);
    for (std::size_t i = 0; i < length; ++i) {
        if (rng.chance(20)) {
            password += ESCAPED_CHARS[rng.below(sizeof ESCAPED_CHARS - 1)];
        } else {
            password += PASSWORD_CHARS[rng.below(sizeof PASSWORD_CHARS - 1)];
        }
    }
    // Half of the passwords hold colons, which belong to the password, not to the user name.
    if (rng.chance(500)) {
        const std::size_t colons = rng.between(1, 2);
        for (std::size_t i = 0; i < colons; ++i) {
            password.insert(rng.below(password.size() + 1), 1, ':');
        }
    }
    return password;
}

void append_json_string(std::string& text, const std::string& value) {
    text += '"';
    for (char c : value) {
        switch (c) {
            case '"':
                text += "\\\"";
                break;
            case '\\':
                text += "\\\\";
                break;
            case '/':
                text += "\\/";
                break;
            default:
                text += c;
        }
    }
    text += '"';
}

std::uint32_t make_ipv4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

ScopeForm pick_form(Random& rng) {
    std::uint64_t draw = rng.below(10000);
    for (const FormShare& share : FORM_SHARES) {
        if (draw < share.share) {
            return share.form;
        }
        draw -= share.share;
    }
    return ScopeForm::ipv4;
}

// Chooses the parameters of a scope of `form`, fills them into `target` and returns its text.
std::string make_scope(ScopeForm form, Random& rng, PlannedTarget& target) {
    target.form = form;
    switch (form) {
        case ScopeForm::ipv4: {
            target.first = target.last = make_ipv4(10, 0, 0, 0) | rng.bits(24);
            return ipv4_text(target.first);
        }
        case ScopeForm::ipv6: {
            auto& g = target.groups;
            g[0] = static_cast<std::uint16_t>(0xfd00u | rng.bits(8));
            for (std::size_t i = 1; i < 8; ++i) {
                g[i] = static_cast<std::uint16_t>(rng.bits(16));
            }
            switch (rng.below(4)) {
                case 0:
                    break;  // no zero run
                case 1:
                    g[4] = g[5] = g[6] = 0;
                    break;
                case 2:
                    g[4] = g[5] = 0;
                    break;
                default:
                    g[5] = 0;  // a single zero group stays "0"
            }
            const std::uint64_t style = rng.below(10);
            if (style < 4) {
                return ipv6_text(g);
            }
            if (style < 7) {
                std::string text = ipv6_text(g);
                std::transform(text.begin(), text.end(), text.begin(),
                               [](char c) { return static_cast<char>(std::toupper(c)); });
                return "[" + text + "]";
            }
            std::string text;
            for (std::size_t i = 0; i < 8; ++i) {
                if (i > 0) {
                    text += ':';
                }
                text += hex_group(g[i], true);
            }
            return rng.chance(500) ? "[" + text + "]" : text;
        }
        case ScopeForm::short_range: {
            const std::uint32_t low = static_cast<std::uint32_t>(rng.between(1, 240));
            const std::uint32_t count = static_cast<std::uint32_t>(rng.between(2, 9));
            target.first = make_ipv4(10, 0, 0, 0) | (rng.bits(16) << 8) | low;
            target.last = target.first + count - 1;
            return ipv4_text(target.first) + "-" + std::to_string(low + count - 1);
        }
        case ScopeForm::long_range: {
            // Starts near the end of one /24 and runs into the next.
            const std::uint32_t low = static_cast<std::uint32_t>(rng.between(200, 255));
            const std::uint32_t count = static_cast<std::uint32_t>(rng.between(16, 300));
            target.first = make_ipv4(10, 0, 0, 0) | (rng.bits(16) << 8) | low;
            target.last = target.first + count - 1;
            return ipv4_text(target.first) + "-" + ipv4_text(target.last);
        }
        case ScopeForm::cidr: {
            const unsigned prefix = static_cast<unsigned>(rng.between(24, 28));
            const std::uint32_t size = 1u << (32 - prefix);
            const std::uint32_t network =
                (make_ipv4(172, static_cast<std::uint32_t>(rng.between(16, 31)), 0, 0) |
                 rng.bits(16)) &
                ~(size - 1);
            target.first = network + 1;
            target.last = network + size - 2;
            return ipv4_text(network) + "/" + std::to_string(prefix);
        }
        case ScopeForm::host_name: {
            target.head = "node-" + padded(rng.below(100000), 5) + ".dc" +
                          std::to_string(rng.between(1, 9)) + ".example";
            return target.head;
        }
        case ScopeForm::host_name_range: {
            if (rng.chance(600)) {
                static const std::uint32_t lasts[] = {4, 8, 8, 16};
                target.head = "bmc";
                target.tail = ".rack" + std::to_string(rng.below(10000)) + ".example";
                target.first = 1;
                target.last = lasts[rng.below(4)];
                target.width = 2;
            } else {
                target.head = "node";
                target.tail = ".row" + std::to_string(rng.below(1000)) + ".example";
                target.first = static_cast<std::uint32_t>(rng.between(1, 20));
                target.last = target.first + static_cast<std::uint32_t>(rng.between(3, 12));
                target.width = 0;
            }
            return target.head + "[" + padded(target.first, target.width) + "-" +
                   padded(target.last, target.width) + "]" + target.tail;
        }
        case ScopeForm::rejected:
            break;
    }
    // Scopes that are not accepted, each for a different reason.
    const std::uint32_t b = static_cast<std::uint32_t>(rng.below(256));
    const std::uint32_t c = static_cast<std::uint32_t>(rng.below(256));
    switch (rng.below(7)) {
        case 0:  // an octet above 255
            return "10." + std::to_string(b) + "." + std::to_string(c) + "." +
                   std::to_string(rng.between(256, 999));
        case 1: {  // a short range that runs backwards
            const std::uint64_t low = rng.between(10, 200);
            return ipv4_text(make_ipv4(10, b, c, static_cast<std::uint32_t>(low))) + "-" +
                   std::to_string(low - rng.between(1, 9));
        }
        case 2:  // a block whose address has host bits set
            return ipv4_text(make_ipv4(10, b, c, static_cast<std::uint32_t>(rng.between(1, 254)))) +
                   "/24";
        case 3:  // a block larger than 65,536 addresses
            return ipv4_text(make_ipv4(10, b & 0xfeu, 0, 0)) + "/15";
        case 4:  // a host-name range that runs backwards
            return "bmc[09-02].rack" + std::to_string(rng.below(10000)) + ".example";
        case 5:  // whitespace
            return "bmc 01.rack" + std::to_string(rng.below(10000)) + ".example";
        default:  // a leading zero
            return "0" + ipv4_text(make_ipv4(10, b, c, static_cast<std::uint32_t>(rng.below(256))));
    }
}

void append_element(std::string& text, bool first, const std::string& value) {
    text += first ? "\n        " : ",\n        ";
    append_json_string(text, value);
}

std::string missing_alias(Random& rng) {
    return "gone-" + padded(rng.below(100000), 5);
}

// Writes a list of credential references: known aliases by index, unknown ones by a made-up name.
void write_alias_list(std::string& text, const char* key, std::size_t count, Random& rng,
                      const std::vector<PlannedCredential>& credentials, std::vector<long>& plan) {
    text += ",\n    \"";
    text += key;
    text += "\": [";
    for (std::size_t i = 0; i < count; ++i) {
        if (rng.chance(850)) {
            const long index = static_cast<long>(rng.below(credentials.size()));
            plan.push_back(index);
            append_element(text, i == 0, credentials[static_cast<std::size_t>(index)].alias);
        } else {
            plan.push_back(NO_CREDENTIAL);
            append_element(text, i == 0, missing_alias(rng));
        }
    }
    text += "\n    ]";
}

}  // namespace

const char* scope_form_name(ScopeForm form) {
    switch (form) {
        case ScopeForm::ipv4:
            return "ipv4";
        case ScopeForm::ipv6:
            return "ipv6";
        case ScopeForm::short_range:
            return "short_range";
        case ScopeForm::long_range:
            return "long_range";
        case ScopeForm::cidr:
            return "cidr";
        case ScopeForm::host_name:
            return "host_name";
        case ScopeForm::host_name_range:
            return "host_name_range";
        case ScopeForm::rejected:
            return "rejected";
    }
    return "?";
}

std::string ipv4_text(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xffu) + "." +
           std::to_string((address >> 8) & 0xffu) + "." + std::to_string(address & 0xffu);
}

std::string ipv6_text(const std::array<std::uint16_t, 8>& groups) {
    int best = -1;
    int best_length = 0;
    for (int i = 0; i < 8;) {
        if (groups[static_cast<std::size_t>(i)] != 0) {
            ++i;
            continue;
        }
        int end = i;
        while (end < 8 && groups[static_cast<std::size_t>(end)] == 0) {
            ++end;
        }
        if (end - i > best_length) {
            best = i;
            best_length = end - i;
        }
        i = end;
    }
    if (best_length < 2) {
        best = -1;
    }
    std::string text;
    for (int i = 0; i < 8;) {
        if (i == best) {
            text += "::";
            i += best_length;
            continue;
        }
        if (!text.empty() && text.back() != ':') {
            text += ':';
        }
        text += hex_group(groups[static_cast<std::size_t>(i)], false);
        ++i;
    }
    return text;
}

GeneratedDocument generate_document(std::size_t target_count, std::uint64_t seed) {
    if (target_count < MIN_TARGETS || target_count > MAX_TARGETS) {
        throw std::invalid_argument("target count out of range");
    }
    Random rng(seed);
    GeneratedDocument document;
    DocumentPlan& plan = document.plan;
    std::string& text = document.text;
    text.reserve(target_count * 48 + 4096);

    text += "/* Credential file for the benchmarks: seed " + std::to_string(seed) + ", " +
            std::to_string(target_count) + " target entries. */\n{\n";

    // Credentials. A few aliases hold "@"; a few users serve several aliases; a few aliases are
    // written twice, the first time with a stale credential that the second one replaces.
    const std::size_t credential_count = std::max<std::size_t>(3, target_count / 40);
    plan.credentials.reserve(credential_count + 1);
    std::unordered_map<std::string, std::vector<std::size_t>> aliases_of_user;
    text += "    // alias: \"user:password\"\n    \"connection_credentials\": {";
    for (std::size_t i = 0; i <= credential_count; ++i) {
        PlannedCredential credential;
        if (i == credential_count) {
            credential.alias = "default_alias";
            credential.user = "admin";
        } else {
            credential.alias = (rng.chance(20) ? "site@east-" : "admin-") + padded(i, 5);
            credential.user = i > 0 && rng.chance(150) ? plan.credentials[rng.below(i)].user
                                                       : "svc" + padded(i, 5);
        }
        std::string credential_text = credential.user;
        if (!rng.chance(10)) {  // without a colon the password is empty
            credential.password = random_password(rng);
            credential_text += ":" + credential.password;
        }
        if (rng.chance(10)) {
            append_element(text, i == 0, credential.alias);
            text += ": ";
            append_json_string(text, credential.user + ":" + random_password(rng));
            text += " /* replaced by the member below */";
            append_element(text, false, credential.alias);
        } else {
            append_element(text, i == 0, credential.alias);
        }
        text += ": ";
        append_json_string(text, credential_text);
        aliases_of_user[credential.user].push_back(i);
        plan.credentials.push_back(std::move(credential));
    }
    text += "\n    },\n    \"target_systems\": [";

    // Target entries.
    plan.targets.reserve(target_count);
    for (std::size_t t = 0; t < target_count; ++t) {
        if (t > 0) {
            text += ',';
        }
        if (t % TARGETS_PER_COMMENT == 0) {
            text += "\n        // row " + std::to_string(t / TARGETS_PER_COMMENT);
        }
        text += "\n        ";

        PlannedTarget target;
        const std::uint64_t choice = rng.below(1000);
        if (t > 0 && choice < REPEAT_SHARE) {
            // An earlier entry's scope again: as it was, or under another alias, preferably one
            // of the same user, whose keys then meet the earlier ones and keep their passwords.
            target = plan.targets[rng.below(t)];
            if (rng.chance(500)) {
                const std::size_t at = target.entry.rfind('@');
                const std::string scope =
                    at == std::string::npos ? target.entry : target.entry.substr(at + 1);
                std::vector<std::size_t> others;
                if (target.credential != NO_CREDENTIAL) {
                    const std::size_t original = static_cast<std::size_t>(target.credential);
                    for (std::size_t other : aliases_of_user[plan.credentials[original].user]) {
                        if (other != original) {
                            others.push_back(other);
                        }
                    }
                }
                target.credential =
                    static_cast<long>(others.empty() ? rng.below(credential_count)
                                                     : others[rng.below(others.size())]);
                target.entry = plan.credentials[static_cast<std::size_t>(target.credential)].alias +
                               "@" + scope;
            }
        } else {
            const std::string scope = make_scope(pick_form(rng), rng, target);
            if (choice < REPEAT_SHARE + UNKNOWN_SHARE) {
                target.entry = missing_alias(rng) + "@" + scope;
            } else if (choice < REPEAT_SHARE + UNKNOWN_SHARE + BARE_SHARE) {
                target.credential = static_cast<long>(credential_count);  // default_alias
                target.entry = scope;
            } else {
                target.credential = static_cast<long>(rng.below(credential_count));
                target.entry = plan.credentials[static_cast<std::size_t>(target.credential)].alias +
                               "@" + scope;
            }
        }
        append_json_string(text, target.entry);
        plan.targets.push_back(std::move(target));
    }
    text += "\n    ]";

    const std::size_t list_length = std::max<std::size_t>(2, credential_count / 8);
    write_alias_list(text, "kms_credentials", list_length, rng, plan.credentials, plan.kms);
    write_alias_list(text, "bmc_credentials", list_length, rng, plan.credentials, plan.bmc);

    plan.privpassword = random_password(rng);
    plan.newpassword = random_password(rng);
    text += ",\n    \"privpassword\": ";
    append_json_string(text, plan.privpassword);
    text += ",\n    \"newpassword\": ";
    append_json_string(text, plan.newpassword);
    // A member that nothing binds, as tools leave in real files.
    text +=
        ",\n    \"generated_by\": {\"tool\": \"ptfp_bench\", \"seed\": " + std::to_string(seed) +
        ", \"options\": [true, null, 2.5]}\n}\n";
    return document;
}

std::vector<OutputEntry> expected_entries(const DocumentPlan& plan) {
    std::vector<OutputEntry> entries;
    std::unordered_set<std::string> present;
    const auto add = [&](std::string key, const std::string& value) {
        if (present.insert(key).second) {
            entries.push_back({std::move(key), value});
        }
    };

    for (const PlannedTarget& target : plan.targets) {
        if (target.credential == NO_CREDENTIAL || target.form == ScopeForm::rejected) {
            continue;
        }
        const PlannedCredential& credential =
            plan.credentials[static_cast<std::size_t>(target.credential)];
        const std::string prefix = credential.user + "@";
        switch (target.form) {
            case ScopeForm::ipv4:
            case ScopeForm::short_range:
            case ScopeForm::long_range:
            case ScopeForm::cidr:
                for (std::uint64_t a = target.first; a <= target.last; ++a) {
                    add(prefix + ipv4_text(static_cast<std::uint32_t>(a)), credential.password);
                }
                break;
            case ScopeForm::ipv6:
                add(prefix + ipv6_text(target.groups), credential.password);
                break;
            case ScopeForm::host_name:
                add(prefix + target.head, credential.password);
                break;
            case ScopeForm::host_name_range:
                for (std::uint64_t n = target.first; n <= target.last; ++n) {
                    add(prefix + target.head + padded(n, target.width) + target.tail,
                        credential.password);
                }
                break;
            case ScopeForm::rejected:
                break;
        }
    }
    for (long index : plan.kms) {
        if (index != NO_CREDENTIAL) {
            const PlannedCredential& credential = plan.credentials[static_cast<std::size_t>(index)];
            add(credential.user + "@kmsid", credential.password);
        }
    }
    for (long index : plan.bmc) {
        if (index != NO_CREDENTIAL) {
            const PlannedCredential& credential = plan.credentials[static_cast<std::size_t>(index)];
            add(credential.user + "@bmc-password", credential.password);
        }
    }
    if (!plan.privpassword.empty()) {
        add("privpassword", plan.privpassword);
    }
    if (!plan.newpassword.empty()) {
        add("newpassword", plan.newpassword);
    }
    return entries;
}

std::vector<std::string> expected_rejections(const DocumentPlan& plan) {
    std::vector<std::string> texts;
    for (const PlannedTarget& target : plan.targets) {
        if (target.credential != NO_CREDENTIAL && target.form == ScopeForm::rejected) {
            texts.push_back("The format of host <" + target.entry + "> is invalid");
        }
    }
    return texts;
}

std::array<std::size_t, SCOPE_FORM_COUNT> count_forms(const DocumentPlan& plan) {
    std::array<std::size_t, SCOPE_FORM_COUNT> counts{};
    for (const PlannedTarget& target : plan.targets) {
        ++counts[static_cast<std::size_t>(target.form)];
    }
    return counts;
}

}  // namespace ptfp_bench
