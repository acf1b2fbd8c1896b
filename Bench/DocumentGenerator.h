#pragma once
// Deterministic credential documents for the benchmarks, with the entries parse must hand out.
//
// The generator writes a credential file that mixes every host-scope form, aliases without a
// credential, refused scopes, repeated scopes, passwords with colons and escapes, and comments.
// While it writes, it works out what parse adds to an empty map, without the library: the
// addresses of each scope come from Boost.Asio's own address texts. The benchmarks' floor
// inserts exactly those entries, so it does the output work that parse cannot avoid and no more.
//
// The same seed and size give the same document everywhere: numbers come straight from
// std::mt19937_64, whose output the language fixes, never through the standard distributions.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ptfp_bench {

/// Seed of the documents that the benchmarks measure.
inline constexpr std::uint64_t BENCH_SEED = 0x5eed'c0de'2024'0001ULL;

/// An entry of the output map.
struct OutputEntry {
    std::string key;
    std::string value;
};

struct GeneratedDocument {
    std::string text;
    /// What parse adds to an empty map: each key once, with the value stored first, in the
    /// order parse first adds it.
    std::vector<OutputEntry> entries;
    /// The target entries whose scope parse refuses and logs, in order.
    std::vector<std::string> rejected;
};

/// A credential document with `targets` target entries (at least 10): about 42 bytes and 1.7
/// output entries per target. Throws std::invalid_argument for fewer.
GeneratedDocument generate_document(std::size_t targets, std::uint64_t seed);

}  // namespace ptfp_bench
