#include "walk/WorkTree.h"

#include <filesystem>
#include <system_error>

namespace credcheck {

bool in_git_work_tree(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path directory = fs::absolute(path, error).parent_path();
    if (error) {
        return false;
    }
    // The directories the file really lies in, not those its path spells.
    if (fs::path resolved = fs::canonical(directory, error); !error) {
        directory = std::move(resolved);
    } else {
        directory = directory.lexically_normal();
    }
    for (;;) {
        if (fs::exists(fs::symlink_status(directory / ".git", error))) {
            return true;
        }
        fs::path parent = directory.parent_path();
        if (parent == directory || parent.empty()) {
            return false;
        }
        directory = std::move(parent);
    }
}

}  // namespace credcheck
