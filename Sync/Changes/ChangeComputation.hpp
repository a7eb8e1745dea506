#pragma once

#include "Sync/Changes/Change.hpp"
#include "Sync/Changes/MergePolicy.hpp"

#include <vector>

namespace Sync {

// Compares a local view with a remote view and answers the ordered list of
// changes that brings the losing side in line with the winner:
// - local phase: (disk files, stored files, TakeLocal): disk edits become
//   remote changes;
// - remote phase: (stored files, server listing, TakeRemote): server edits
//   become local changes.
//
// Identities are taken as they stand: the local phase resolves them first
// (resolveIdentities). Side effect, by design: a stored record without a hash
// takes the disk file's hash when the whole seconds of their dates agree.
// The changes hold the very input objects. Paths compare by canonical
// equivalence.
//
// Never fails: what cannot be carried out yet becomes Change::invalid().
// Runs on the calling thread and takes no locks: no other thread may touch
// the input files during the call. Time is linear in the input sizes apart
// from the ordering (see orderedChanges). No element of either view may be
// null.
[[nodiscard]] std::vector<Change> computeChanges(const std::vector<FileRef>& localView,
    const std::vector<FileRef>& remoteView, MergePolicy policy);

// The same list, in the same order, with every delete (local or remote) whose
// file's parent is itself deleted in the list turned into a local delete:
// deleting the folder on the server takes its contents along.
[[nodiscard]] std::vector<Change> resolvingNestedDeletes(const std::vector<Change>& changes);

} // namespace Sync
