#pragma once
// Where the shipped example credential file is.

#include <string>

namespace credcheck {

/// The example credential file that credcheck checks when given none:
/// ../share/PlainTextFileParser/examples/credentials.json from the folder of the running
/// executable, as an install lays it out (and the build tree too).
std::string default_credential_file();

}  // namespace credcheck
