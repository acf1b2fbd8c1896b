#include "ExampleFile.h"

#include <filesystem>
#include <system_error>

namespace credcheck {

namespace fs = std::filesystem;

std::string default_credential_file() {
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return CREDCHECK_INSTALLED_EXAMPLE;  // relative to the working folder, then
    }
    return (executable.parent_path() / CREDCHECK_INSTALLED_EXAMPLE).lexically_normal().string();
}

}  // namespace credcheck
