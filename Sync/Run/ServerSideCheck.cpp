#include "Sync/Run/ServerSideCheck.hpp"

#include "Sync/Changes/ServerDeleteGuard.hpp"
#include "Sync/Changes/ServerEdits.hpp"
#include "Sync/Run/DeleteSafety.hpp"
#include "Sync/Run/ServerListing.hpp"

#include <optional>
#include <utility>

namespace Sync {

namespace {

void keepServerEdits(const std::shared_ptr<const SyncCollaborators>& collaborators, const std::shared_ptr<RunWork>& work,
    std::vector<Change> changes, std::optional<ServerListing> server, const std::vector<FileRef>& stored,
    ServerEditKeeping::Hooks hooks)
{
    if (!holdsContentUpdate(changes)) {
        hooks.done(std::move(changes));
        return;
    }
    auto keeping = std::make_shared<ServerEditKeeping>(collaborators, work, stored, std::move(hooks));
    if (server) {
        keeping->keep(std::move(changes), std::move(*server));
    } else {
        keeping->check(std::move(changes));
    }
}

} // namespace

void checkAgainstServer(const std::shared_ptr<const SyncCollaborators>& collaborators,
    const std::shared_ptr<RunWork>& work, std::vector<Change> changes, const std::vector<FileRef>& stored,
    ServerSideHooks hooks)
{
    if (!holdsServerDelete(changes)) {
        keepServerEdits(collaborators, work, std::move(changes), std::nullopt, stored, std::move(hooks.edits));
        return;
    }
    // A delete on the server is undone by nothing: it waits for the
    // server's side to be seen, and newer work there is not deleted.
    work->awaitFirst(collaborators->apiClient->syncRemoteFiles(),
        [collaborators, work, pending = std::move(changes), &stored, hooks = std::move(hooks)](
            Reactive::Event<std::vector<FileRef>, Reactive::AnyError>&& answer) mutable {
            auto server = ServerListing::of(std::move(answer));
            auto guarded = DeleteSafety::checkServerDeletes(std::move(pending), server.files, stored);
            if (!guarded.forgotten.empty()) {
                if (!hooks.forgetting()) {
                    return;
                }
                if (auto forgotten = DeleteSafety::forgetRecords(*collaborators, guarded.forgotten); !forgotten) {
                    hooks.storeFailed(std::move(forgotten.error()));
                    return;
                }
            }
            keepServerEdits(collaborators, work, std::move(guarded.changes), std::move(server), stored,
                std::move(hooks.edits));
        });
}

} // namespace Sync
