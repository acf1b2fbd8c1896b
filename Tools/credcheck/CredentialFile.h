#pragma once
// Reading a credential file for credcheck's own checks, without blocking on anything that is not a
// regular file.

#include <sys/types.h>

#include <optional>
#include <string>

namespace credcheck {

/// A credential file as credcheck reads it for its own checks.
struct credential_file {
    /// Why the file could not be read (e.g. "No such file or directory"); empty when it was.
    std::string error;
    /// The whole content, when it was read.
    std::string text;
    /// The mode bits of the opened file (st_mode & 07777), when it was opened.
    std::optional<mode_t> mode;
};

/// Opens `path` (following symbolic links) and reads it whole when it is a regular file.
credential_file read_credential_file(const std::string& path);

}  // namespace credcheck
