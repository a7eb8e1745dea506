#include "Sync/Run/SyncRun.hpp"

#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Run/FreedMemory.hpp"
#include "Sync/Run/RefusedEntries.hpp"
#include "Sync/Run/ServerSideCheck.hpp"
#include "Sync/Run/UploadIntents.hpp"
#include "Sync/Status/FileSyncStatus.hpp"

#include <utility>

namespace Sync {

using Reactive::AnyError;
using Reactive::Event;
using Reactive::NoError;
using Reactive::Observer;

template<class Value>
using Answer = Event<Value, AnyError>;

SyncRun::SyncRun(std::shared_ptr<const SyncCollaborators> collaborators, RemoteChangeExecutor remoteExecutor,
    LocalChangeExecutor localExecutor, Reactive::SchedulerPtr queue, Outputs outputs)
    : m_collaborators(std::move(collaborators))
    , m_queue(std::move(queue))
    , m_report(std::move(outputs))
    , m_list(m_collaborators, std::move(remoteExecutor), std::move(localExecutor))
    , m_listingEtag(m_collaborators->fileStore)
{
}

void SyncRun::start(const Reactive::Lifetime& lifetime)
{
    std::weak_ptr<SyncRun> weakSelf = shared_from_this();
    lifetime.observeEnded([weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->stop();
        }
    });
    // Marks left by an interrupted run would otherwise stay for good.
    if (auto cleared = m_collaborators->fileSyncStatusStore->removeAll(FileSyncStatus::syncing); !cleared) {
        failWithStore(std::move(cleared.error()));
        return;
    }
    // A cloud folder that cannot be listed and entered would scan as empty,
    // and everything the server has would read as deleted here.
    if (!DeleteSafety::isReadableFolder(m_collaborators->cloudFolder())) {
        failWithUnreadableCloudFolder();
        return;
    }
    adoptUnrecordedUploads();
}

void SyncRun::adoptUnrecordedUploads()
{
    Sync::adoptUnrecordedUploads(m_collaborators, *m_work, [self = shared_from_this()](Adoption adoption) {
        if (adoption.outcome == Adoption::Outcome::adopted) {
            self->startPhase(Phase::Local);
        } else if (adoption.storeFailure) {
            self->failWithStore(std::move(*adoption.storeFailure));
        } else {
            self->stop();
            if (adoption.listingFailure) {
                self->m_report.failure(std::move(*adoption.listingFailure));
            }
            self->m_report.completed(self->m_deleteSafety.takeTrashed());
        }
    });
}

void SyncRun::startPhase(Phase phase)
{
    if (phase == Phase::Local) {
        m_localPhaseActed = false;
        m_storedFiles.reset();
    }
    m_listingEtag.phaseStarts();
    m_remotePhaseFailed = false;
    m_phase = phase;
    m_pass = 0;
    m_previousInvalidChanges.reset();
    fetchChanges();
}

void SyncRun::fetchChanges()
{
    if (isStopped()) {
        return;
    }
    ++m_pass;
    m_finishedChanges = 0;
    if (m_phase == Phase::Local) {
        fetchLocalChanges();
    } else {
        fetchRemoteChanges();
    }
}

void SyncRun::fetchLocalChanges()
{
    // Without a root folder there is nothing to compare: the failure is
    // dropped and the run goes on with the server.
    requestRootFolderID([](SyncRun& run, std::int64_t id) { run.scanDisk(id); });
}

void SyncRun::requestRootFolderID(void (*next)(SyncRun&, std::int64_t))
{
    m_work->awaitFirst(m_collaborators->apiClient->syncRootFolderID(),
        [self = shared_from_this(), next](Answer<std::int64_t>&& event) {
            if (event.isValue()) {
                self->m_rootFolderID = event.value();
                next(*self, event.value());
                return;
            }
            if (event.isFailed()) {
                self->m_report.runFailure(std::move(event).error());
            }
            self->phaseDone();
        });
}

void SyncRun::scanDisk(std::int64_t rootFolderID)
{
    if (isStopped()) {
        return;
    }
    Sync::scanDisk(m_collaborators, *m_work, rootFolderID,
        [self = shared_from_this()](DiskChanges found) { self->takeScan(std::move(found)); });
}

void SyncRun::takeScan(DiskChanges found)
{
    if (found.cloudFolderUnreadable) {
        failWithUnreadableCloudFolder();
        return;
    }
    if (found.storeFailure) {
        failWithStore(std::move(*found.storeFailure));
        return;
    }
    // Kept for the remote phase, and read from there: one list, not two.
    m_storedFiles = std::move(found.stored);
    reportRefused(refusedEntryEvents(Change::Kind::Remote, found.twins));
    for (const auto& event : m_deleteSafety.keepBelowUnreadable(found.changes, found.unreadable)) {
        forward(event);
    }
    checkAgainstServer(std::move(found.changes));
}

void SyncRun::fetchRemoteChanges()
{
    // Asked before the listing: a change after it only makes the next run list again.
    m_work->awaitFirst(m_collaborators->apiClient->syncRootEtag(),
        [self = shared_from_this()](Answer<std::string>&& event) {
            // Without it the listing is fetched as always, and tells what went wrong.
            self->m_listingEtag.askedRootEtag(event.isValue() ? std::optional(std::move(event).value()) : std::nullopt);
            self->listUnlessInStep();
        });
}

void SyncRun::listUnlessInStep()
{
    if (isStopped()) {
        return;
    }
    if (m_pass == 1 && !m_localPhaseActed && m_listingEtag.namesStoredState(m_storedFiles)) {
        m_storedFiles.reset();
        phaseDone();
        return;
    }
    if (!forgetListingEtag()) {
        return;
    }
    if (m_rootFolderID) {
        listRemoteFiles(*m_rootFolderID);
        return;
    }
    // The local phase did not learn the root folder: without it, no entry of
    // the listing can be told apart from one whose parent is missing.
    requestRootFolderID([](SyncRun& run, std::int64_t id) { run.listRemoteFiles(id); });
}

void SyncRun::listRemoteFiles(std::int64_t rootFolderID)
{
    if (isStopped()) {
        return;
    }
    // Nothing was carried out since the local phase read the stored state:
    // its records stand, else they are read again.
    auto unchanged = m_pass == 1 && !m_localPhaseActed ? std::exchange(m_storedFiles, std::nullopt) : std::nullopt;
    m_storedFiles.reset();
    listRemote(*m_collaborators, *m_work, std::move(unchanged), rootFolderID,
        [self = shared_from_this()](RemoteListing listed) { self->takeListing(std::move(listed)); });
}

void SyncRun::takeListing(RemoteListing listed)
{
    if (listed.storeFailure) {
        failWithStore(std::move(*listed.storeFailure));
        return;
    }
    if (!listed.plan) {
        m_listingEtag.listingFailed();
        if (listed.failure) {
            m_report.failure(std::move(*listed.failure));
        }
        phaseDone();
        return;
    }
    std::vector<Change> changes;
    {
        auto plan = std::move(*listed.plan);
        listed.plan.reset();
        reportRefused(refusedEntryEvents(Change::Kind::Local, plan.twins, plan.orphans, plan.duplicates, plan.misplaced));
        if (m_pass == 1) {
            m_deleteSafety.weighListing(plan.storedItemsDeleted, plan.storedCount);
        }
        m_listingEtag.listed(std::move(plan.listedFiles), std::move(plan.withheldIDs), plan.deletesOnDisk);
        changes = std::move(plan.changes);
    }
    // As after the scan: worth it only before changes that run.
    if (!changes.empty()) {
        releaseFreedMemory();
    }
    execute(std::move(changes));
}

void SyncRun::reportRefused(const std::vector<SyncEventPair>& events)
{
    // Repetitions of a phase would only say the same again.
    if (m_pass != 1) {
        return;
    }
    for (const auto& event : events) {
        forward(event);
    }
}

void SyncRun::checkAgainstServer(std::vector<Change> changes)
{
    auto self = shared_from_this();
    Sync::checkAgainstServer(m_collaborators, m_work, std::move(changes), *m_storedFiles,
        ServerSideHooks {
            .edits = {
                .forward = [self](const SyncEventPair& pair) { self->forward(pair); },
                .runFailure = [self](const AnyError& error) { self->m_report.runFailure(error); },
                .kept = [self](KeptServerVersion kept) { self->m_report.keptServerVersion(std::move(kept)); },
                .done = [self](std::vector<Change> changes) { self->execute(std::move(changes)); },
            },
            .forgetting = [self] { return self->localPhaseActs(); },
            .storeFailed = [self](StoreError error) { self->failWithStore(std::move(error)); },
        });
}

bool SyncRun::localPhaseActs()
{
    m_localPhaseActed = true;
    return forgetListingEtag();
}

bool SyncRun::forgetListingEtag()
{
    if (auto forgotten = m_listingEtag.forget(); !forgotten) {
        failWithStore(std::move(forgotten.error()));
        return false;
    }
    return true;
}

void SyncRun::failWithUnreadableCloudFolder()
{
    if (isStopped()) {
        return;
    }
    stop();
    auto path = m_collaborators->cloudFolder().path();
    m_report.endUnread(AnyError(ChangeExecutionError { ChangeExecutionError::Code::cloudFolderUnreadable, path, {} }));
}

void SyncRun::execute(std::vector<Change> changes)
{
    if (isStopped()) {
        return;
    }
    if (m_phase == Phase::Local && !changes.empty() && !localPhaseActs()) {
        return;
    }
    if (auto started = m_list.start(std::move(changes), m_rootFolderID); !started) {
        failWithStore(std::move(started.error()));
        return;
    }
    executeNext();
}

void SyncRun::executeNext()
{
    if (isStopped()) {
        return;
    }
    if (m_storeFailure) {
        failWithStore(std::move(*m_storeFailure));
        return;
    }
    if (m_list.isDone()) {
        if (auto finished = m_list.finish(); !finished) {
            failWithStore(std::move(finished.error()));
            return;
        }
        listDone();
        return;
    }
    auto producer = m_list.next(m_deleteSafety.removal()).startOn(m_queue);
    auto self = shared_from_this();
    m_work->start([self, producer] {
        return producer.start(Observer<SyncEventPair, NoError>::make([self](Event<SyncEventPair, NoError>&& event) {
            if (event.isValue()) {
                self->forward(event.value());
            } else if (event.isCompleted()) {
                self->m_work->ended();
                self->executeNext();
            }
        }));
    });
}

void SyncRun::listDone()
{
    const auto invalid = m_list.invalidChanges();
    if (invalid == 0) {
        phaseDone();
        return;
    }
    const bool unchanged = m_finishedChanges == 0 && m_previousInvalidChanges == invalid;
    if (unchanged || m_pass > maximumRepetitions) {
        phaseDone();
        return;
    }
    m_previousInvalidChanges = invalid;
    fetchChanges();
}

void SyncRun::phaseDone()
{
    if (isStopped()) {
        return;
    }
    if (m_phase == Phase::Local) {
        startPhase(Phase::Remote);
        return;
    }
    m_listingEtag.keep(!m_remotePhaseFailed && m_list.invalidChanges() == 0, m_rootFolderID);
    if (m_refusedCreates.repeatOnce()) {
        startPhase(Phase::Local);
        return;
    }
    m_report.completed(m_deleteSafety.takeTrashed());
}

void SyncRun::forward(const SyncEventPair& pair)
{
    if (pair.first.isError() && m_phase == Phase::Remote) {
        // What failed is tried again, and what was refused reported again, only from a fresh listing.
        m_remotePhaseFailed = true;
    }
    if (const auto* failure = pair.first.isError() ? pair.first.error()->as<StoreError>() : nullptr) {
        // Not this change's fault but the run's: reported once, by failWithStore.
        m_storeFailure = *failure;
        return;
    }
    if (pair.first.isFinished()) {
        ++m_finishedChanges;
        m_deleteSafety.noteFinished(pair.second);
    }
    m_refusedCreates.note(pair, m_phase == Phase::Local);
    m_report.event(pair);
}

void SyncRun::failWithStore(StoreError error)
{
    if (isStopped()) {
        return;
    }
    stop();
    m_report.failure(AnyError(std::move(error)));
    m_report.completed(m_deleteSafety.takeTrashed());
}

void SyncRun::stop()
{
    m_work->stop();
    m_list.stop();
}

bool SyncRun::isStopped() const
{
    return m_work->isStopped();
}

} // namespace Sync
