#pragma once
// What the benchmark programs share: the floor that parse is measured against, and reading a
// document file the one way the project reads files.

#include <cstddef>
#include <string>
#include <vector>

#include "DocumentGenerator.h"

namespace ptfp_bench {

/// The whole file at `path`, read with the library's InputFile. Throws std::runtime_error when
/// it cannot be read.
std::string read_file(const std::string& path);

/// The floor for one parse of the file at `path`: the least work any implementation has to do
/// to hand out `entries`. Reads the file whole, parses it with Boost.JSON under the credential
/// parse options and, while the parsed document is alive (as it must be when the entries are
/// taken from it), inserts every entry, key and value copied, into a fresh map in the given
/// order. Returns the number of entries the map held.
std::size_t run_floor(const std::string& path, const std::vector<OutputEntry>& entries);

/// Makes the process-wide log sink one that drops every record.
void silence_log();

}  // namespace ptfp_bench
