#pragma once

#include "Sync/Changes/Change.hpp"
#include "Sync/Execution/LocalChangeExecutor.hpp"
#include "Sync/Execution/RemoteChangeExecutor.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Execution/SyncEvent.hpp"
#include "Sync/Run/UploadIntents.hpp"
#include "Sync/Run/TransferPipeline.hpp"
#include "Sync/Store/StoreError.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace Sync {

// The list of changes a pass of a phase carries out, one at a time: before
// the first starts, the intents of its uploads are kept (ListIntents) and
// the files of its valid changes marked `syncing`, one write each; each
// change's work is handed out in its turn, the transfers right after it sent
// ahead (TransferPipeline); once the last has run, the intents are forgotten.
// Invalid changes are counted, not carried out, and whatever a view held,
// the cloud folder itself is never deleted on the server.
//
// One per run, reused for every list; touched only by the step under way,
// but `stop` may come from any thread at any time (see TransferPipeline). It
// starts no work itself: the run starts what `next` hands out.
class ChangeList {
public:
    ChangeList(std::shared_ptr<const SyncCollaborators> collaborators, RemoteChangeExecutor remoteExecutor,
        LocalChangeExecutor localExecutor);

    // Takes `changes` as the list under way; a store failure leaves it empty.
    [[nodiscard]] StoreResult<> start(std::vector<Change> changes, std::optional<std::int64_t> rootFolderID);
    [[nodiscard]] bool isDone() const { return m_next == m_valid.size(); }
    // The work of the next change, with local deletes done as `removal` says.
    // Precondition: !isDone().
    [[nodiscard]] SyncEventProducer next(LocalChangeExecutor::Removal removal);
    // Every answer of the list is recorded, or failed and was not taken.
    [[nodiscard]] StoreResult<> finish();
    [[nodiscard]] std::size_t invalidChanges() const { return m_invalid; }
    // Disposes every exchange sent ahead and sends no other.
    void stop();

private:
    std::shared_ptr<const SyncCollaborators> m_collaborators;
    RemoteChangeExecutor m_remoteExecutor;
    LocalChangeExecutor m_localExecutor;
    TransferPipeline m_transfersAhead;
    ListIntents m_intents;
    std::vector<Change> m_valid;
    std::size_t m_next { 0 };
    std::size_t m_invalid { 0 };
};

} // namespace Sync
