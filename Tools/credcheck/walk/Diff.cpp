#include "walk/Diff.h"

#include <algorithm>
#include <utility>

namespace credcheck {

namespace {

bool same_source(const file_walk& before, entry_source a, const file_walk& after, entry_source b) {
    return a.member == b.member && source_entry(before, a) == source_entry(after, b);
}

}  // namespace

bool file_diff::maps_differ() const {
    return std::any_of(changes.begin(), changes.end(), [](const key_change& change) {
        return change.what != key_change::kind::moved;
    });
}

file_diff diff_walks(file_walk before, file_walk after) {
    file_diff diff{std::move(before), std::move(after), {}};
    const std::vector<handed_entry>& old_entries = diff.before.entries;
    const std::vector<handed_entry>& new_entries = diff.after.entries;
    // Both lists are in key order: one pass over the two.
    auto old_entry = old_entries.begin();
    auto new_entry = new_entries.begin();
    while (old_entry != old_entries.end() || new_entry != new_entries.end()) {
        const bool take_old = new_entry == new_entries.end() ||
                              (old_entry != old_entries.end() && *old_entry->key < *new_entry->key);
        const bool take_new = old_entry == old_entries.end() ||
                              (new_entry != new_entries.end() && *new_entry->key < *old_entry->key);
        if (take_old) {
            diff.changes.push_back({key_change::kind::removed, old_entry->key,
                                    key_side{old_entry->value, old_entry->source}, std::nullopt});
            ++old_entry;
        } else if (take_new) {
            diff.changes.push_back({key_change::kind::added, new_entry->key, std::nullopt,
                                    key_side{new_entry->value, new_entry->source}});
            ++new_entry;
        } else {
            std::optional<key_change::kind> what;
            if (*old_entry->value != *new_entry->value) {
                what = key_change::kind::changed;
            } else if (!same_source(diff.before, old_entry->source, diff.after,
                                    new_entry->source)) {
                what = key_change::kind::moved;
            }
            if (what) {
                diff.changes.push_back({*what, new_entry->key,
                                        key_side{old_entry->value, old_entry->source},
                                        key_side{new_entry->value, new_entry->source}});
            }
            ++old_entry;
            ++new_entry;
        }
    }
    return diff;
}

const char* kind_name(key_change::kind what) {
    switch (what) {
        case key_change::kind::added:
            return "added";
        case key_change::kind::removed:
            return "removed";
        case key_change::kind::changed:
            return "changed";
        case key_change::kind::moved:
            return "moved";
    }
    return "";
}

}  // namespace credcheck
