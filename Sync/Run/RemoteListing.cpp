#include "Sync/Run/RemoteListing.hpp"

#include <utility>

namespace Sync {

void listRemote(const SyncCollaborators& collaborators, RunWork& work, std::optional<std::vector<FileRef>> unchanged,
    std::int64_t rootFolderID, std::function<void(RemoteListing)> done)
{
    std::vector<FileRef> stored;
    if (unchanged) {
        stored = std::move(*unchanged);
    } else {
        auto loaded = collaborators.fileStore->loadFiles();
        if (!loaded) {
            RemoteListing unread;
            unread.storeFailure = std::move(loaded.error());
            done(std::move(unread));
            return;
        }
        stored = std::move(*loaded);
    }
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
