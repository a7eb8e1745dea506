#include "Sync/Run/SyncManager.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Sync/Run/SyncRun.hpp"
#include "Sync/Status/FileSyncStatus.hpp"

namespace Sync {

using Reactive::AnyError;
using Reactive::Lifetime;
using Reactive::NoError;
using Reactive::Observer;
using Reactive::Signal;

namespace {

// The file a change is about: the destination of a move; none for an invalid change.
const File* fileOf(const Change& change)
{
    const auto& operation = change.fileOperation();
    return operation ? operation->file().get() : nullptr;
}

// Whether the change's executor wrote the item's up-to-date status together
// with its record: a downloaded or updated file, an item created or moved on
// the server. Another write of the same row would only cost a transaction.
bool recordsItsStatus(const Change& change)
{
    const auto& operation = *change.fileOperation();
    const auto kind = operation.kind();
    if (change.isLocal()) {
        return !isFolder(*operation.file()) && (kind == FileOperation::Kind::Create || kind == FileOperation::Kind::Update);
    }
    return kind == FileOperation::Kind::Create || kind == FileOperation::Kind::Move;
}

} // namespace

SyncManager::SyncManager(std::shared_ptr<SyncAPIClient> apiClient, FileSystemFileStore fileSystemStore,
    std::shared_ptr<FileStore> fileStore, std::shared_ptr<FileReferenceMapping> fileReferenceMapping,
    std::shared_ptr<FileSyncStatusStore> fileSyncStatusStore)
    : m_collaborators(std::make_shared<const SyncCollaborators>(SyncCollaborators { std::move(apiClient),
          std::move(fileSystemStore), std::move(fileStore), std::move(fileReferenceMapping),
          std::move(fileSyncStatusStore) }))
    , m_queueScheduler(Reactive::QueueScheduler::make())
    , m_remoteExecutor(m_collaborators)
    , m_localExecutor(m_collaborators)
    , m_syncEvents(Signal<SyncEventPair, NoError>::pipe().first)
    , m_checkErrors(Signal<AnyError, NoError>::pipe().first)
    , m_runFailures(Signal<AnyError, NoError>::pipe().first)
    , m_trashedForSafety(Signal<std::size_t, NoError>::pipe().first)
    , m_serverVersionsKept(Signal<std::vector<KeptServerVersion>, NoError>::pipe().first)
{
    std::tie(m_syncEvents, m_syncEventSink) = Signal<SyncEventPair, NoError>::pipe();
    std::tie(m_checkErrors, m_checkErrorSink) = Signal<AnyError, NoError>::pipe();
    std::tie(m_runFailures, m_runFailureSink) = Signal<AnyError, NoError>::pipe();
    std::tie(m_trashedForSafety, m_trashedForSafetySink) = Signal<std::size_t, NoError>::pipe();
    std::tie(m_serverVersionsKept, m_serverVersionsKeptSink) = Signal<std::vector<KeptServerVersion>, NoError>::pipe();
    observeOutcomes();
}

SyncManager::~SyncManager() = default;

void SyncManager::observeOutcomes()
{
    // The observers hold the collaborators, never the manager.
    auto collaborators = m_collaborators;
    m_syncEvents.observeValues([collaborators](const SyncEventPair& pair) {
        const auto& [event, change] = pair;
        const auto* file = fileOf(change);
        if (!file || !event.isError()) {
            return;
        }
        Platform::Log::failure(change.description() + ": " + event.error()->description());
        static_cast<void>(
            collaborators->fileSyncStatusStore->mark(*file, FileSyncStatus::error, collaborators->cloudFolder()));
    });
    m_syncEvents.observeValues([collaborators](const SyncEventPair& pair) {
        const auto& [event, change] = pair;
        const auto* file = fileOf(change);
        if (!file || !event.isFinished() || !file->syncFileID().isRemote() || change.fileOperation()->isDelete()) {
            return;
        }
        const auto cloudFolder = collaborators->cloudFolder();
        const auto kind = change.fileOperation()->kind();
        const bool placedHere = change.isLocal() && (kind == FileOperation::Kind::Create || kind == FileOperation::Kind::Update);
        // What this run placed (a download, a folder it made) was bound on disk
        // before it was synced and recorded; everything else is bound now.
        if (!placedHere) {
            collaborators->fileReferenceMapping->addReference(*file, cloudFolder);
        }
        if (!recordsItsStatus(change)) {
            static_cast<void>(collaborators->fileSyncStatusStore->mark(*file, FileSyncStatus::upToDate, cloudFolder));
        }
    });
}

Reactive::SignalProducer<SyncEventPair, NoError> SyncManager::performSync()
{
    auto collaborators = m_collaborators;
    auto queue = m_queueScheduler;
    auto remoteExecutor = m_remoteExecutor;
    auto localExecutor = m_localExecutor;
    auto syncEventSink = m_syncEventSink;
    auto checkErrorSink = m_checkErrorSink;
    auto runFailureSink = m_runFailureSink;
    auto trashedSink = m_trashedForSafetySink;
    auto keptSink = m_serverVersionsKeptSink;
    return Reactive::SignalProducer<SyncEventPair, NoError>(
        [=](Observer<SyncEventPair, NoError> observer, Lifetime lifetime) {
            auto run = std::make_shared<SyncRun>(collaborators, remoteExecutor, localExecutor, queue,
                SyncRun::Outputs { syncEventSink, checkErrorSink, observer, runFailureSink, trashedSink, keptSink });
            run->start(lifetime);
        });
}

SyncEventProducer SyncManager::performRemoteOperation(const FileOperation& operation) const
{
    return m_remoteExecutor.performRemoteOperation(operation);
}

SyncEventProducer SyncManager::performLocalOperation(const FileOperation& operation) const
{
    return m_localExecutor.performLocalOperation(operation);
}

} // namespace Sync
