#pragma once
// What a change to a credential file does to what the tools receive: the keys that one file's
// walk hands out and the other's does not, or hands out with another password, or from another
// entry of the file.

#include <optional>
#include <string>
#include <vector>

#include "walk/FileWalk.h"

namespace credcheck {

/// A key of one side, with its password and the entry that produced it. `value` points into
/// the side's map.
struct key_side {
    const std::string* value;
    entry_source source;
};

/// How one key differs between the old and the new file.
struct key_change {
    enum class kind {
        added,    // only the new file hands it out
        removed,  // only the old file hands it out
        changed,  // both do, with another password
        moved,    // both do, with the same password, from another entry of the file
    };
    kind what;
    /// Points into the map of the side that has the key (the new one when both do).
    const std::string* key;
    std::optional<key_side> before;  // unset for an added key
    std::optional<key_side> after;   // unset for a removed key
};

struct file_diff {
    file_walk before;
    file_walk after;
    /// Every key that differs, in key order. Points into the two walks, so a file_diff is not
    /// copied.
    std::vector<key_change> changes;

    /// Whether the two maps differ: a key added, removed or with another password. A key that
    /// only moved to another entry leaves the maps the same.
    bool maps_differ() const;
};

/// Compares the maps that the walks over `before` and `after` handed out. Two sources are the
/// same when they are the same member and the same entry text, wherever the entry stands in its
/// list: moving an entry changes nothing by itself.
file_diff diff_walks(file_walk before, file_walk after);

/// "added", "removed", "changed" or "moved".
const char* kind_name(key_change::kind what);

}  // namespace credcheck
