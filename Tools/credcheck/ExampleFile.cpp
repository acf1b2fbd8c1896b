#include "ExampleFile.h"

#include <filesystem>
#include <system_error>

namespace credcheck {

namespace fs = std::filesystem;

std::string default_credential_file() {
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path installed =
            (executable.parent_path() / CREDCHECK_INSTALLED_EXAMPLE).lexically_normal();
        if (fs::is_regular_file(installed, ec)) {
            return installed.string();
        }
    }
    return CREDCHECK_SOURCE_EXAMPLE;
}

}  // namespace credcheck
