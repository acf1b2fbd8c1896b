#pragma once
// The command line of credcheck.

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "findings/PasswordStrength.h"

namespace credcheck {

/// When the text report is coloured.
enum class colour_mode {
    /// On a terminal unless NO_COLOR is set or TERM is dumb; on a pipe when FORCE_COLOR is set.
    automatic,
    always,
    never,
};

/// The FILE that stands for standard input.
inline constexpr std::string_view STANDARD_INPUT = "-";

/// What the user asked for.
struct options {
    /// The credential files to check, in turn, as given: STANDARD_INPUT is standard input, and
    /// so is no file at all when standard input is not a terminal. With --diff: the old and the
    /// new file.
    std::vector<std::string> files;
    /// What standard input is called wherever a report names its file (--stdin-filename); "-"
    /// when not set.
    std::optional<std::string> stdin_name;
    /// Compare files[0] with files[1] instead of checking them.
    bool diff = false;
    /// The output format, by the name --format gives it (see output_formats).
    std::string format = "text";
    colour_mode colour = colour_mode::automatic;
    /// Show passwords instead of a mask.
    bool reveal = false;
    /// Show the trace records (level 4 and above) and each target's outcome too.
    bool verbose = false;
    /// List every key on a line of its own instead of folding runs of keys.
    bool all_keys = false;
    /// Exit 1 when the report holds a finding of warning severity or above; also judge every
    /// password's strength.
    bool strict = false;
    /// Rules whose findings are left out (--ignore RULE, repeatable).
    std::vector<std::string> ignore;
    /// Check the mode and owner of a file in a git work tree too (--check-file-mode); by default
    /// only files outside one have theirs checked.
    bool check_file_mode = false;
    /// The most entries a file may hand out before the many-entries rule says so.
    std::size_t max_entries = 100'000;
    /// With --strict, the fewest bits of guessing a password may take before weak-password says
    /// so.
    double min_password_bits = DEFAULT_MIN_PASSWORD_BITS;
    /// Show only the keys for this host, each with its source.
    std::optional<std::string> host;
    /// Accept the findings this baseline file names (--baseline FILE).
    std::optional<std::string> baseline;
    /// Write every finding of the run to this baseline file (--write-baseline FILE).
    std::optional<std::string> write_baseline;
    /// The file of the key for password digests (--fingerprint-key FILE); else
    /// CREDCHECK_FINGERPRINT_KEY.
    std::optional<std::string> fingerprint_key;
    /// Show each password as its keyed digest's first 16 hex digits.
    bool fingerprints = false;
    /// Inventories whose hosts the files should cover (--inventory FILE, repeatable; "-" is
    /// standard input).
    std::vector<std::string> inventories;
    /// Their format, as --inventory-format names it; each is found by its name and content
    /// when not given.
    std::optional<std::string> inventory_format;
};

/// Exit statuses.
inline constexpr int EXIT_CLEAN = 0;
/// The parser's result is not RESULT_SUCCEED, --strict found something, --host found nothing, or
/// --diff found the two maps differ.
inline constexpr int EXIT_FINDINGS = 1;
/// Bad usage, a file that cannot be read (a stream longer than 256 MiB too), running out of
/// memory, or a report that could not be written.
inline constexpr int EXIT_TROUBLE = 2;

/// The parsed command line. `exit_status` is set when the tool has already done all it should
/// (help or version written, or a usage error reported) and must exit with that status.
struct command_line {
    options opts;
    std::optional<int> exit_status;
};

/// Parses `argv`, options and files in any order, as GNU tools do ("--" ends the options).
/// Help and version go to `out`; a usage error goes to `err` as one line naming the problem and
/// a hint to run with --help, with EXIT_TROUBLE as the exit status. No file at all reads
/// standard input, unless it is a terminal: then the usage goes to `err`, with EXIT_TROUBLE.
command_line parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                std::ostream& err);

}  // namespace credcheck
