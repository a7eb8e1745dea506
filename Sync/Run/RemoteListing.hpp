#pragma once

#include "Reactive/AnyError.hpp"
#include "Sync/Changes/ListingPlan.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Run/RunWork.hpp"
#include "Sync/Store/StoreError.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Sync {

// What the remote phase's listing came to: the plan made of it, or none
// when the server's side could not be read (with the failure when the
// request failed rather than ended without an answer), or the stored state
// could not be read (then nothing was asked).
struct RemoteListing {
    std::optional<ListingPlan> plan;
    std::optional<Reactive::AnyError> failure;
    std::optional<StoreError> storeFailure;
};

// Lists the server's side and plans it against the stored records:
// `unchanged` when the records read before still stand, else read afresh
// (see planListing); what the plan does not keep is gone before `done` is
// called.
//
// A free function of the run's step under way: the request is the run's
// work under way (stopping the run disposes it, and `done` is not called),
// and `done` keeps alive what it needs; it is called on the thread that
// answered.
void listRemote(const SyncCollaborators& collaborators, RunWork& work, std::optional<std::vector<FileRef>> unchanged,
    std::int64_t rootFolderID, std::function<void(RemoteListing)> done);

} // namespace Sync
