#pragma once
// Deterministic credential documents for the benchmarks.
//
// `generate_document` writes the JSON text of a credential file with a given number of target
// entries and keeps a plan of everything it wrote: the credentials (as they count after
// duplicate aliases), each target entry with what its host scope stands for, the KMS and BMC
// lists and the two passwords. `expected_entries` works out from that plan alone, without the
// library, the entries that a parse of the text adds to an empty map, in the order in which it
// first adds them. The benchmarks' floor inserts exactly those entries, so the floor does the
// output work that parse cannot avoid and nothing more.
//
// The same seed and size give the same text and plan on every platform: numbers are taken from
// std::mt19937_64, whose output the language fixes, and never through the standard
// distributions, whose output differs between standard libraries.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ptfp_bench {

/// Seed of the documents that the benchmarks measure.
inline constexpr std::uint64_t BENCH_SEED = 0x5eed'c0de'2024'0001ULL;

/// Fewest and most target entries a document may have.
inline constexpr std::size_t MIN_TARGETS = 10;
inline constexpr std::size_t MAX_TARGETS = 1'000'000;

/// The host-scope forms the generator writes.
enum class ScopeForm {
    ipv4,             // 10.1.2.3
    ipv6,             // fd12:..., some bracketed, some upper case and uncompressed
    short_range,      // 10.1.2.5-9
    long_range,       // 10.1.2.200-10.1.3.40
    cidr,             // 172.16.4.0/24 .. /28
    host_name,        // node-01234.dc3.example
    host_name_range,  // bmc[01-08].rack12.example, node[7-12].row3.example
    rejected,         // 10.0.0.300 and other scopes that are not accepted
};

inline constexpr std::size_t SCOPE_FORM_COUNT = 8;

/// Name of a form, as the generator's summary prints it.
const char* scope_form_name(ScopeForm form);

/// One member of "connection_credentials", as it counts (the last of a duplicated alias).
struct PlannedCredential {
    std::string alias;
    std::string user;
    std::string password;
};

/// Marks a target entry or list entry whose alias names no credential.
inline constexpr long NO_CREDENTIAL = -1;

/// One element of "target_systems" and what it stands for.
struct PlannedTarget {
    /// The entry as the document holds it: "alias@scope" or a bare scope.
    std::string entry;
    /// Index into DocumentPlan::credentials of the credential its alias names, or NO_CREDENTIAL.
    long credential = NO_CREDENTIAL;
    ScopeForm form = ScopeForm::rejected;
    /// IPv4 forms: the first and last address the scope stands for (host addresses of a block).
    /// Host-name range: the first and last number.
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    /// IPv6: the address's eight groups.
    std::array<std::uint16_t, 8> groups{};
    /// Host name: the name. Host-name range: the text before the number.
    std::string head;
    /// Host-name range: the text after the number.
    std::string tail;
    /// Host-name range: the width numbers are zero-padded to, or 0 for plain numbers.
    unsigned width = 0;
};

/// Everything the generator wrote, in document order.
struct DocumentPlan {
    std::vector<PlannedCredential> credentials;
    std::vector<PlannedTarget> targets;
    /// "kms_credentials" and "bmc_credentials": credential indexes, NO_CREDENTIAL for aliases
    /// that name none.
    std::vector<long> kms;
    std::vector<long> bmc;
    std::string privpassword;
    std::string newpassword;
};

struct GeneratedDocument {
    std::string text;
    DocumentPlan plan;
};

/// An entry of the output map.
struct OutputEntry {
    std::string key;
    std::string value;
};

/// Writes a credential document with `target_count` target entries (MIN_TARGETS to MAX_TARGETS;
/// std::invalid_argument otherwise). About 42 bytes and 1.7 output entries per target.
GeneratedDocument generate_document(std::size_t target_count, std::uint64_t seed);

/// The entries that parsing the planned document adds to an empty map, each key once with the
/// value stored first, in the order of first insertion: the addresses of the target entries in
/// list order, then the KMS entries, the BMC entries, "privpassword" and "newpassword".
std::vector<OutputEntry> expected_entries(const DocumentPlan& plan);

/// The texts of the records that parsing the planned document logs for rejected host scopes, in
/// order: one per target entry with a rejected scope whose alias names a credential.
std::vector<std::string> expected_rejections(const DocumentPlan& plan);

/// How many target entries of each form the plan holds, indexed by ScopeForm.
std::array<std::size_t, SCOPE_FORM_COUNT> count_forms(const DocumentPlan& plan);

/// Dotted-decimal text of an IPv4 address.
std::string ipv4_text(std::uint32_t address);

/// RFC 5952 text of an IPv6 address: lower case, no leading zeros, the first longest run of two
/// or more zero groups written as "::".
std::string ipv6_text(const std::array<std::uint16_t, 8>& groups);

}  // namespace ptfp_bench
