#pragma once

#include "Sync/Changes/Change.hpp"
#include "Sync/Execution/SyncEvent.hpp"
#include "Sync/Model/File.hpp"

#include <vector>

namespace Sync {

// The entries a view left out (see ScreenedView), each as the error event of
// a create on `side` that names why: twins, entries whose parent is missing,
// entries whose id another holds, entries whose path is not where their
// parent puts them. A plain function: the run sends the events.
[[nodiscard]] std::vector<SyncEventPair> refusedEntryEvents(Change::Kind side, const std::vector<FileRef>& twins,
    const std::vector<FileRef>& orphans = {}, const std::vector<FileRef>& duplicates = {},
    const std::vector<FileRef>& misplaced = {});

} // namespace Sync
