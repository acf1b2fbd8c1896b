#include "DocumentGenerator.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <random>
#include <stdexcept>
#include <unordered_set>

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/address_v6.hpp>

namespace ptfp_bench {
namespace {

namespace ip = boost::asio::ip;

// Numbers straight from the engine. The modulo's bias is far below anything a benchmark could
// notice, and unlike the standard distributions it gives the same numbers everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    /// 0 to n - 1; n > 0.
    std::uint32_t below(std::uint64_t n) { return static_cast<std::uint32_t>(engine_() % n); }
    /// lo to hi inclusive.
    std::uint32_t between(std::uint32_t lo, std::uint32_t hi) { return lo + below(hi - lo + 1); }
    /// True with a chance of `per_mille` in 1000.
    bool chance(unsigned per_mille) { return below(1000) < per_mille; }

private:
    std::mt19937_64 engine_;
};

// A host scope, and the addresses parse must hand out for it (none when it is refused).
struct Scope {
    std::string text;
    std::vector<std::string> addresses;
};

std::string v4(std::uint32_t address) {
    return ip::address_v4(address).to_string();
}

std::string padded(std::uint32_t number, std::size_t width) {
    std::string digits = std::to_string(number);
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

// The addresses first .. last.
Scope span(std::string text, std::uint32_t first, std::uint32_t last) {
    Scope scope{std::move(text), {}};
    for (std::uint32_t address = first; address <= last; ++address) {
        scope.addresses.push_back(v4(address));
    }
    return scope;
}

Scope single_ipv4(Random& random) {
    const std::string text = v4(0x0a000000u | random.below(1u << 24));
    return {text, {text}};
}

// Written back in its short lower-case form, whether written so, in brackets and upper case, or
// with every group in full.
Scope single_ipv6(Random& random) {
    ip::address_v6::bytes_type bytes{};
    bytes[0] = 0xfd;
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>(random.below(256));
    }
    const std::size_t zeros = random.below(4) * 2;  // a run of zero groups, or none
    std::fill(bytes.begin() + 8, bytes.begin() + 8 + static_cast<std::ptrdiff_t>(zeros), 0);
    const std::string canonical = ip::address_v6(bytes).to_string();
    std::string text = canonical;
    if (random.chance(400)) {
        std::transform(text.begin(), text.end(), text.begin(), ::toupper);
        text = "[" + text + "]";
    } else if (random.chance(400)) {
        static const char hex[] = "0123456789ABCDEF";
        text.clear();
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            text += (i > 0 && i % 2 == 0 ? ":" : "");
            text += hex[bytes[i] >> 4];
            text += hex[bytes[i] & 0xf];
        }
    }
    return {text, {canonical}};
}

// "10.1.2.5-9": the last octet only.
Scope short_range(Random& random) {
    const std::uint32_t first = 0x0a000000u | random.below(1u << 16) << 8 | random.between(1, 240);
    const std::uint32_t last = first + random.between(1, 8);
    return span(v4(first) + "-" + std::to_string(last & 0xff), first, last);
}

// "10.1.2.200-10.1.3.40": from near the end of one /24 into the next.
Scope long_range(Random& random) {
    const std::uint32_t first =
        0x0a000000u | random.below(1u << 16) << 8 | random.between(200, 255);
    const std::uint32_t last = first + random.between(15, 299);
    return span(v4(first) + "-" + v4(last), first, last);
}

// "172.16.4.0/26": the host addresses of the block.
Scope block(Random& random) {
    const std::uint32_t prefix = random.between(24, 28);
    const std::uint32_t size = 1u << (32 - prefix);
    const std::uint32_t network =
        (0xac000000u | random.between(16, 31) << 16 | random.below(1u << 16)) & ~(size - 1);
    return span(v4(network) + "/" + std::to_string(prefix), network + 1, network + size - 2);
}

Scope host_name(Random& random) {
    const std::string name = "node-" + padded(random.below(100000), 5) + ".dc" +
                             std::to_string(random.between(1, 9)) + ".example";
    return {name, {name}};
}

// "bmc[01-08].rack12.example" (zero-padded) or "node[7-12].row3.example".
Scope host_name_range(Random& random) {
    const bool padded_form = random.chance(600);
    const std::string head = padded_form ? "bmc" : "node";
    const std::string tail = (padded_form ? ".rack" : ".row") +
                             std::to_string(random.below(10000)) + ".example";
    const std::uint32_t first = padded_form ? 1 : random.between(1, 20);
    const std::uint32_t last = first + (padded_form ? 3u << random.below(3) : random.between(3, 12));
    const std::size_t width = padded_form ? 2 : 0;
    Scope scope{head + "[" + padded(first, width) + "-" + padded(last, width) + "]" + tail, {}};
    for (std::uint32_t n = first; n <= last; ++n) {
        scope.addresses.push_back(head + padded(n, width) + tail);
    }
    return scope;
}

// Scopes that are not accepted, each for its own reason.
Scope refused(Random& random) {
    const std::uint32_t net = 0x0a000000u | random.below(1u << 16) << 8;
    const std::string rack = std::to_string(random.below(10000));
    switch (random.below(7)) {
        case 0: return {v4(net).substr(0, v4(net).rfind('.')) + ".300", {}};  // an octet over 255
        case 1: return {v4(net | 20) + "-" + std::to_string(random.between(1, 19)), {}};
        case 2: return {v4(net | random.between(1, 254)) + "/24", {}};  // host bits set
        case 3: return {v4(net & 0xfffe0000u) + "/15", {}};             // over 65,536 addresses
        case 4: return {"bmc[09-02].rack" + rack + ".example", {}};    // runs backwards
        case 5: return {"bmc 01.rack" + rack + ".example", {}};        // a blank
        default: return {"0" + v4(net | random.below(256)), {}};      // a leading zero
    }
}

// The forms and their shares of the target entries, out of 10,000: a document of 120,000
// targets hands out about 200,000 entries.
struct Form {
    Scope (*make)(Random&);
    unsigned share;
};
constexpr Form FORMS[] = {{single_ipv4, 7042}, {single_ipv6, 900},  {short_range, 520},
                          {long_range, 13},    {block, 15},         {host_name, 1000},
                          {host_name_range, 260}, {refused, 250}};

Scope any_scope(Random& random) {
    std::uint32_t draw = random.below(10000);
    for (const Form& form : FORMS) {
        if (draw < form.share) {
            return form.make(random);
        }
        draw -= form.share;
    }
    return single_ipv4(random);
}

std::string password(Random& random) {
    static const char chars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!#$%&*+-=?^_~.,;@\"\\/";
    std::string text;
    for (std::uint32_t i = random.between(10, 24); i > 0; --i) {
        // Characters that JSON escapes are rare, as in real passwords.
        text += chars[random.below(random.chance(20) ? sizeof chars - 1 : sizeof chars - 4)];
    }
    if (random.chance(500)) {  // colons belong to the password, not to the user name
        text.insert(random.below(text.size() + 1), 1, ':');
    }
    return text;
}

void append_string(std::string& text, const std::string& value) {
    text += '"';
    for (const char c : value) {
        text += c == '"' ? "\\\"" : c == '\\' ? "\\\\" : c == '/' ? "\\/" : std::string(1, c);
    }
    text += '"';
}

struct Credential {
    std::string alias;
    std::string user;
    std::string password;
};

// Keeps the entries parse adds, each key once, in the order first added.
class ExpectedMap {
public:
    explicit ExpectedMap(std::vector<OutputEntry>& entries) : entries_(entries) {}
    void add(std::string key, const std::string& value) {
        if (keys_.insert(key).second) {
            entries_.push_back({std::move(key), value});
        }
    }

private:
    std::vector<OutputEntry>& entries_;
    std::unordered_set<std::string> keys_;
};

}  // namespace

GeneratedDocument generate_document(std::size_t targets, std::uint64_t seed) {
    if (targets < 10) {
        throw std::invalid_argument("a document needs at least 10 targets");
    }
    Random random(seed);
    GeneratedDocument document;
    std::string& text = document.text;
    ExpectedMap expected(document.entries);
    text.reserve(targets * 48 + 4096);
    text += "/* Credential file for the benchmarks: seed " + std::to_string(seed) + " */\n{\n";

    // Credentials: a few aliases hold "@", a few users serve several aliases, a few have no
    // colon (no password), a few aliases stand twice and the second one counts. The last is
    // the one bare scopes use.
    std::vector<Credential> credentials(std::max<std::size_t>(3, targets / 40) + 1);
    text += "    \"connection_credentials\": {";
    for (std::size_t i = 0; i < credentials.size(); ++i) {
        Credential& credential = credentials[i];
        const bool last = i + 1 == credentials.size();
        credential.alias = last ? "default_alias"
                                : (random.chance(20) ? "site@east-" : "admin-") + padded(i, 5);
        credential.user = i > 0 && random.chance(150) ? credentials[random.below(i)].user
                                                      : "svc" + padded(i, 5);
        const bool has_colon = !random.chance(10);
        credential.password = has_colon ? password(random) : std::string();
        text += i > 0 ? ",\n        " : "\n        ";
        if (random.chance(10)) {
            append_string(text, credential.alias);
            text += ": ";
            append_string(text, credential.user + ":" + password(random));
            text += ", /* replaced below */ ";
        }
        append_string(text, credential.alias);
        text += ": ";
        append_string(text, credential.user + (has_colon ? ":" + credential.password : ""));
    }

    // Targets: mostly a known alias and a fresh scope; some an unknown alias or none; some a
    // recent scope again, under another alias, whose keys may meet the earlier ones.
    text += "\n    },\n    \"target_systems\": [";
    std::array<Scope, 64> recent;
    for (std::size_t t = 0; t < targets; ++t) {
        text += t > 0 ? "," : "";
        text += t % 500 == 0 ? "\n        // row " + std::to_string(t / 500) + "\n        "
                             : "\n        ";
        const std::uint32_t choice = random.below(1000);
        Scope scope = choice < 15 && t > 0 ? recent[random.below(std::min<std::size_t>(t, 64))]
                                           : any_scope(random);
        std::string entry;
        const Credential* credential = nullptr;
        if (choice >= 15 && choice < 55) {
            entry = "gone-" + padded(random.below(100000), 5) + "@" + scope.text;
        } else if (choice >= 55 && choice < 85) {
            credential = &credentials.back();
            entry = scope.text;
        } else {
            credential = &credentials[random.below(credentials.size() - 1)];
            entry = credential->alias + "@" + scope.text;
        }
        append_string(text, entry);
        if (credential != nullptr && scope.addresses.empty()) {
            document.rejected.push_back(entry);
        }
        for (std::size_t i = 0; credential != nullptr && i < scope.addresses.size(); ++i) {
            expected.add(credential->user + "@" + scope.addresses[i], credential->password);
        }
        recent[t % recent.size()] = std::move(scope);
    }
    text += "\n    ]";

    // The KMS and BMC lists, with a few aliases that name no credential.
    for (const char* list : {"kms_credentials", "bmc_credentials"}) {
        text += ",\n    \"" + std::string(list) + "\": [";
        const std::string key_host = list[0] == 'k' ? "@kmsid" : "@bmc-password";
        for (std::size_t i = 0; i < std::max<std::size_t>(2, credentials.size() / 8); ++i) {
            text += i > 0 ? ", " : "";
            if (random.chance(850)) {
                const Credential& credential = credentials[random.below(credentials.size())];
                append_string(text, credential.alias);
                expected.add(credential.user + key_host, credential.password);
            } else {
                append_string(text, "gone-" + padded(random.below(100000), 5));
            }
        }
        text += "]";
    }
    for (const char* key : {"privpassword", "newpassword"}) {
        const std::string value = password(random);
        text += ",\n    \"" + std::string(key) + "\": ";
        append_string(text, value);
        expected.add(key, value);
    }
    // A member that nothing binds, as tools leave in real files.
    text += ",\n    \"generated_by\": {\"tool\": \"ptfp_bench\", \"options\": [true, null, 2.5]}\n}\n";
    return document;
}

}  // namespace ptfp_bench
