#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Reactive/Signal.hpp"
#include "Sync/Execution/LocalChangeExecutor.hpp"
#include "Sync/Execution/RemoteChangeExecutor.hpp"
#include "Sync/Execution/ServerVersionCopy.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Run/SyncExecutor.hpp"

#include <cstddef>
#include <memory>
#include <vector>

namespace Sync {

// The engine's sync run. A run has two phases, always in this order:
// 1. local: the disk scan is compared with the stored state of the last run
//    (TakeLocal) and the resulting changes are carried out;
// 2. remote: the stored state, as the local phase left it, is compared with
//    the server's listing (TakeRemote) and the resulting changes are carried out.
// Remote changes go to the RemoteChangeExecutor, local ones to the
// LocalChangeExecutor, whichever phase produced them; a phase whose list held
// changes that cannot be carried out yet is computed and carried out again
// from fresh data (see SyncRun for the bound). Nothing is kept between runs.
//
// Every event of every run goes to `syncEvents` and then to whoever started
// the run. The manager's own bookkeeping observes `syncEvents` from the start
// and, on the delivering thread before the event goes on:
// - marks the file of an error event `error`;
// - for a finished change whose file has a remote id (a delete excepted, whose
//   item is gone), writes the file's reference and marks it up to date.
// Failures of the remote listing go to `checkErrors` (the application's
// status observes them); a failed root folder id ends the local phase without
// an event. Both, and a failure of the stored state, go to `runFailures`, so
// that the scheduler retries the run.
//
// Threading: every member may be called from any thread. The work of each
// change is started on the manager's own serial queue, one change at a time.
// `syncEvents` and `checkErrors` never complete while the manager lives; the
// manager does not guard against two runs at once (the scheduler never starts
// one while another executes). A run keeps what it needs alive, so releasing
// the manager during a run does not end the run.
class SyncManager final : public SyncExecutor {
public:
    SyncManager(std::shared_ptr<SyncAPIClient> apiClient, FileSystemFileStore fileSystemStore,
        std::shared_ptr<FileStore> fileStore, std::shared_ptr<FileReferenceMapping> fileReferenceMapping,
        std::shared_ptr<FileSyncStatusStore> fileSyncStatusStore);
    ~SyncManager() override;
    SyncManager(const SyncManager&) = delete;
    SyncManager& operator=(const SyncManager&) = delete;

    [[nodiscard]] Reactive::SignalProducer<SyncEventPair, Reactive::NoError> performSync() override;

    // Every event of every run, in order.
    [[nodiscard]] const Reactive::Signal<SyncEventPair, Reactive::NoError>& syncEvents() const { return m_syncEvents; }
    // Every failure of the remote listing, one per failed pass of the remote phase.
    [[nodiscard]] const Reactive::Signal<Reactive::AnyError, Reactive::NoError>& checkErrors() const
    {
        return m_checkErrors;
    }

    // Failures of the root folder id, of the listing and of the stored state, as runs meet them.
    [[nodiscard]] Reactive::Signal<Reactive::AnyError, Reactive::NoError> runFailures() const override
    {
        return m_runFailures;
    }

    // One value at the end of every run whose listing left out most of the
    // stored state: how many items that run moved to the Trash instead of
    // deleting them (see SyncRun).
    [[nodiscard]] const Reactive::Signal<std::size_t, Reactive::NoError>& trashedForSafety() const
    {
        return m_trashedForSafety;
    }

    // One value at the end of every run that kept the server's version of
    // files changed here and on the server, beside them (see SyncRun).
    [[nodiscard]] const Reactive::Signal<std::vector<KeptServerVersion>, Reactive::NoError>& serverVersionsKept() const
    {
        return m_serverVersionsKept;
    }

    // The events of one change, as a run carries it out (not started on the queue).
    [[nodiscard]] SyncEventProducer performRemoteOperation(const FileOperation& operation) const;
    [[nodiscard]] SyncEventProducer performLocalOperation(const FileOperation& operation) const;

    [[nodiscard]] const std::shared_ptr<SyncAPIClient>& apiClient() const { return m_collaborators->apiClient; }
    [[nodiscard]] const FileSystemFileStore& fileSystemStore() const { return m_collaborators->fileSystemStore; }
    [[nodiscard]] const std::shared_ptr<FileStore>& fileStore() const { return m_collaborators->fileStore; }
    [[nodiscard]] const std::shared_ptr<FileReferenceMapping>& fileReferenceMapping() const
    {
        return m_collaborators->fileReferenceMapping;
    }
    [[nodiscard]] const std::shared_ptr<FileSyncStatusStore>& fileSyncStatusStore() const
    {
        return m_collaborators->fileSyncStatusStore;
    }
    [[nodiscard]] const std::shared_ptr<Reactive::QueueScheduler>& queueScheduler() const { return m_queueScheduler; }

private:
    void observeOutcomes();

    std::shared_ptr<const SyncCollaborators> m_collaborators;
    std::shared_ptr<Reactive::QueueScheduler> m_queueScheduler;
    RemoteChangeExecutor m_remoteExecutor;
    LocalChangeExecutor m_localExecutor;
    Reactive::Signal<SyncEventPair, Reactive::NoError> m_syncEvents;
    Reactive::Observer<SyncEventPair, Reactive::NoError> m_syncEventSink;
    Reactive::Signal<Reactive::AnyError, Reactive::NoError> m_checkErrors;
    Reactive::Observer<Reactive::AnyError, Reactive::NoError> m_checkErrorSink;
    Reactive::Signal<Reactive::AnyError, Reactive::NoError> m_runFailures;
    Reactive::Observer<Reactive::AnyError, Reactive::NoError> m_runFailureSink;
    Reactive::Signal<std::size_t, Reactive::NoError> m_trashedForSafety;
    Reactive::Observer<std::size_t, Reactive::NoError> m_trashedForSafetySink;
    Reactive::Signal<std::vector<KeptServerVersion>, Reactive::NoError> m_serverVersionsKept;
    Reactive::Observer<std::vector<KeptServerVersion>, Reactive::NoError> m_serverVersionsKeptSink;
};

} // namespace Sync
