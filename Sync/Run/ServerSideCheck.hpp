#pragma once

#include "Sync/Changes/Change.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Run/RunWork.hpp"
#include "Sync/Run/ServerEditKeeping.hpp"
#include "Sync/Store/StoreError.hpp"

#include <functional>
#include <memory>
#include <vector>

namespace Sync {

// The local phase's changes were computed from the disk and the stored
// records alone; before they run, they are checked against the server's
// side, which may have changed since: first their deletes on the server,
// on a listing of their own (DeleteSafety::checkServerDeletes; the records
// a check gives up are forgotten), then their uploads over known files, on
// that same listing when there was one (ServerEditKeeping).
//
// A free function of the run's step under way: its requests are the run's
// work under way, and the hooks keep alive what they need. `stored` is the
// run's, read until the changes are handed to `done` (see ServerEditKeeping).
struct ServerSideHooks {
    ServerEditKeeping::Hooks edits;
    // The stored state is about to change; false when the run ended.
    std::function<bool()> forgetting;
    // A write failed: the run ends.
    std::function<void(StoreError)> storeFailed;
};

void checkAgainstServer(const std::shared_ptr<const SyncCollaborators>& collaborators,
    const std::shared_ptr<RunWork>& work, std::vector<Change> changes, const std::vector<FileRef>& stored,
    ServerSideHooks hooks);

} // namespace Sync
