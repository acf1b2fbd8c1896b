#pragma once
// Where the shipped example credential file is.

#include <string>

namespace credcheck {

/// The example credential file that credcheck checks when given none: the installed copy next
/// to the running executable's prefix (../share/PlainTextFileParser/examples/credentials.json
/// from its bin directory) when it exists, else the copy in the source tree it was built from.
std::string default_credential_file();

}  // namespace credcheck
