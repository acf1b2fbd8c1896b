#pragma once
// The report of credcheck --diff: which keys a change to a credential file adds, removes, gives
// another password or moves to another entry.

#include <ostream>

#include "text/SecretMask.h"
#include "walk/Diff.h"

namespace credcheck {

/// Writes `diff` for a person: both results when they differ, a summary, then the keys of each
/// kind of change with the entries that produced them. Keys of one user whose addresses follow
/// one another (IPv4, or host names numbered one after another), and that change the same way,
/// are folded into one line ("u@10.0.1.1 … u@10.0.1.254 (254 keys) added: ..."). Passwords are
/// shown only with `reveal`; every text is masked and escaped as in the report of one file.
void write_human_diff(std::ostream& out, const file_diff& diff, const secret_mask& mask,
                      bool reveal, bool colour);

/// Writes `diff` as one JSON object: "old" and "new" (file, result and number of keys),
/// "same_maps", "summary", "sources" ("old" and "new": every entry of each file, each once, as the
/// report of one file lists them), and the arrays "added", "removed", "changed" and "moved", which
/// list every key with its side or sides, each naming its source by number. Passwords are shown
/// only with `reveal`. The JSON format has no colours: `colour` is not used.
void write_json_diff(std::ostream& out, const file_diff& diff, const secret_mask& mask, bool reveal,
                     bool colour);

}  // namespace credcheck
