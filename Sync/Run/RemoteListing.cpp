#include "Sync/Run/RemoteListing.hpp"

#include <utility>

namespace Sync {

void listRemote(const SyncCollaborators& collaborators, RunWork& work, std::vector<FileRef> stored,
    std::int64_t rootFolderID, std::function<void(RemoteListing)> done)
{
    work.awaitFirst(collaborators.apiClient->syncRemoteFiles(),
        [stored = std::move(stored), rootFolderID, done = std::move(done)](
            Reactive::Event<std::vector<FileRef>, Reactive::AnyError>&& answer) mutable {
            RemoteListing listed;
            if (answer.isValue()) {
                listed.plan = planListing(std::move(answer).value(), std::move(stored), rootFolderID);
            } else if (answer.isFailed()) {
                listed.failure = std::move(answer).error();
            }
            done(std::move(listed));
        });
}

} // namespace Sync
