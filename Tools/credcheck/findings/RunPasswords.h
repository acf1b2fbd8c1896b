#pragma once
// The passwords of the files a run has checked so far, for reused-password across files. Each is
// kept as a digest keyed with a key drawn for the run, never as itself: the run holds no more
// copies of a password than the file's own walk.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "text/ReportText.h"

namespace credcheck {

class run_passwords {
public:
    /// Where a password was first given.
    struct origin {
        std::string file;
        report_text owner;  // "credential 'ops'", "privpassword"
    };

    /// Draws the run's key. Throws std::runtime_error when libsodium cannot start.
    run_passwords();
    run_passwords(const run_passwords&) = delete;
    run_passwords& operator=(const run_passwords&) = delete;
    ~run_passwords();

    /// Where `password` was first given, when that is another file than `file`; else null.
    /// Remembers that `owner` of `file` gives it when no file gave it before.
    const origin* note(std::string_view password, const std::string& file,
                       const report_text& owner);

private:
    std::string digest(std::string_view password) const;

    std::array<unsigned char, 32> key_{};
    std::unordered_map<std::string, origin> seen_;
};

}  // namespace credcheck
