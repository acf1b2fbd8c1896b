#pragma once
// Whether a credential file lies in a git work tree. Git keeps a file's content but neither its
// mode (beyond the executable bit) nor its owner: a fresh clone's files have the mode the umask
// gives and the owner of whoever checked them out, whatever their author set.

#include <string>

namespace credcheck {

/// Whether the file at `path` lies in a git work tree: whether its directory, or one above it,
/// holds a `.git` entry (the directory of a repository, or the file that a linked work tree or a
/// submodule has instead). Symbolic links and ".." in the directories are resolved first. Read
/// from the file system alone: no git is run and no environment variable read. A directory that
/// cannot be looked into counts as holding none.
bool in_git_work_tree(const std::string& path);

}  // namespace credcheck
