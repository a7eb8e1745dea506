#pragma once

#include "Sync/Changes/Change.hpp"

#include <cstddef>
#include <vector>

namespace Sync {

// Whether change `a` may stand in front of change `b`. Only the operations
// count (local or remote is ignored; invalid changes have none):
// - a move onto the path of a deleted item may not pass that delete;
// - a folder's delete may not pass a move out of that folder;
// - a move may not pass a move whose source path is a prefix of its own
//   source path (equal paths included);
// - a create may not pass a delete of its own place, nor the move of a
//   folder it lies in (by the move's destination).
// Everything else may. "Prefix" compares precomposed text and ends on a
// character boundary with no combining mark following ("e" is no prefix of
// "é"); the empty path is a prefix of every path.
[[nodiscard]] bool mayPrecede(const Change& a, const Change& b);

// Lists shorter than this are ordered by the insertion procedure.
inline constexpr std::size_t literalOrderingLimit = 20;

// Orders an assembled change list for execution. Below literalOrderingLimit
// changes: the insertion procedure (each change moves toward the front for as
// long as it may precede the change before it), so unrelated changes come out
// reversed. From the limit on, where that procedure would be quadratic: an
// ordering in O(n log n + relations) that keeps every relation mayPrecede
// imposes and otherwise keeps the assembled order (so folders stay before
// their contents). Where the relations contradict each other (a cycle), the
// assembled order decides.
[[nodiscard]] std::vector<Change> orderedChanges(std::vector<Change> assembled);

// The two procedures on their own, for any length.
[[nodiscard]] std::vector<Change> insertionOrderedChanges(std::vector<Change> assembled);
[[nodiscard]] std::vector<Change> relationOrderedChanges(std::vector<Change> assembled);

} // namespace Sync
