#pragma once

#include "Reactive/AnyError.hpp"
#include "Sync/Changes/ListingPlan.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Run/RunWork.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Sync {

// What the remote phase's listing came to: the plan made of it, or none
// when the server's side could not be read (with the failure when the
// request failed rather than ended without an answer).
struct RemoteListing {
    std::optional<ListingPlan> plan;
    std::optional<Reactive::AnyError> failure;
};

// Lists the server's side and plans it against `stored` (see planListing);
// what the plan does not keep is gone before `done` is called.
//
// A free function of the run's step under way: the request is the run's
// work under way (stopping the run disposes it, and `done` is not called),
// and `done` keeps alive what it needs; it is called on the thread that
// answered.
void listRemote(const SyncCollaborators& collaborators, RunWork& work, std::vector<FileRef> stored,
    std::int64_t rootFolderID, std::function<void(RemoteListing)> done);

} // namespace Sync
