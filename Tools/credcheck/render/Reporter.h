#pragma once
// The output formats: each a reporter that renders the report model file by file, and the
// registry that --format picks them from.

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/Report.h"
#include "walk/Diff.h"

namespace credcheck {

/// What the run tells a reporter before its first file.
struct run_start {
    /// The files the run reports, named as the reports name them, in order.
    std::vector<std::string> names;
    /// Hides every file's passwords; masks nothing with --reveal.
    std::shared_ptr<const secret_mask> mask;
    /// The inventories of --inventory, named as the command line names them: findings may
    /// stand in them.
    std::vector<std::string> inventories;
};

/// How a reporter writes, beyond what the model says.
struct render_settings {
    /// ANSI colours, for the formats that have them.
    bool colour = false;
};

/// Renders one run: begin once, file for each file in turn, end once. A reporter writes as it
/// goes; it keeps nothing of a file's report once `file` returns, but what its format must write
/// at the end (a few words per file). Throws output_failed when the output fails.
class reporter {
public:
    virtual ~reporter() = default;
    virtual void begin(const run_start& run) { (void)run; }
    virtual void file(const file_report& report) = 0;
    /// In place of `file` for a file the run could not read at all, for the reason given.
    virtual void not_read(std::string_view reason) { (void)reason; }
    /// Also called when the run stops before its last file: what was written stays whole.
    virtual void end() {}
};

/// Writes the comparison of two files (--diff), masked with `mask`.
using diff_writer = void (*)(std::ostream& out, const file_diff& diff, const secret_mask& mask,
                             bool reveal, bool colour);

/// An output format, as --format names it.
struct output_format {
    std::string_view name;
    /// What it is for, in a few words, for --help.
    std::string_view purpose;
    std::unique_ptr<reporter> (*make)(std::ostream& out, const render_settings& settings);
    /// Null when --diff does not write this format.
    diff_writer write_diff;
};

/// Every format, the default (text) first.
const std::vector<output_format>& output_formats();

/// The format named `name`, or null.
const output_format* find_format(std::string_view name);

}  // namespace credcheck
