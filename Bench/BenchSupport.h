#pragma once
// Pieces shared by the benchmark programs: the bulk file read and the floor that parse is
// measured against, a scratch folder for the generated documents and a silent log sink.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include <PlainTextFileParser/JsonBinding.h>

#include "DocumentGenerator.h"

namespace ptfp_bench {

/// The whole file at `path`: one open, one fstat and read() until the end, which for a regular
/// file is a single call. Throws std::runtime_error when the file cannot be read.
std::string read_file_bulk(const std::string& path);

/// The floor for one parse of the file at `path`: the least work any implementation has to do
/// to hand out `entries`. Reads the file in bulk, parses it with Boost.JSON as the binding does,
/// and, while the parsed document is alive, as it must be when the entries are taken from it,
/// inserts every entry (key and value copied) into a fresh map in the given order. Everything is
/// released before it returns; the result is the number of entries the map held.
std::size_t run_floor(const std::string& path, const std::vector<OutputEntry>& entries);

/// The floor once the document is bound as parse must bind it: the file is opened as a stream
/// and bound with `json_assign` to a `plain_text_info` record (the parsed document is gone once
/// that returns), then every entry is copied into a fresh map while the record is alive. Does
/// none of parse's own work (credential table, scope expansion, keys, log records); parse over
/// this is what parse adds beyond the binding. Returns the number of entries the map held.
std::size_t run_bound_floor(const std::string& path, const std::vector<OutputEntry>& entries);

/// parse's own steps short of the map: the credential table built from `info`, and every target
/// entry's alias looked up in it and, when found, its scope expanded by spread_scope_ip. Builds
/// no key and inserts nothing. Returns the number of addresses the scopes expanded to.
std::size_t run_expansion(const plain_text_info& info);

/// A new folder under the system's temporary folder, removed with its content.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    /// Writes `text` to the file `name` in the folder and returns its path.
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path path_;
};

/// Makes the process-wide log sink one that drops every record.
void silence_log();

}  // namespace ptfp_bench
