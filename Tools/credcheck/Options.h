#pragma once
// The command line of credcheck.

#include <optional>
#include <ostream>
#include <string>

namespace credcheck {

/// What the user asked for.
struct options {
    /// The credential file to check; the shipped example when none is given.
    std::string file;
    /// Show passwords instead of a mask.
    bool reveal = false;
    /// Write one JSON object instead of the human report.
    bool json = false;
    /// Show the trace records (level 4 and above) too.
    bool verbose = false;
};

/// The exit status for bad usage.
inline constexpr int EXIT_USAGE = 2;

/// The parsed command line. `exit_status` is set when the tool has already done all it should
/// (help or version written, or a usage error reported) and must exit with that status.
struct command_line {
    options opts;
    std::optional<int> exit_status;
};

/// Parses `argv`. Help and version go to `out`; a usage error goes to `err` as one line naming
/// the problem and a hint to run with --help, with EXIT_USAGE as the exit status.
command_line parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                std::ostream& err);

}  // namespace credcheck
