#pragma once

#include "Reactive/Lifetime.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Changes/Change.hpp"
#include "Sync/Execution/LocalChangeExecutor.hpp"
#include "Sync/Execution/RemoteChangeExecutor.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Execution/SyncEvent.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Run/ChangeList.hpp"
#include "Sync/Run/DeleteSafety.hpp"
#include "Sync/Run/DiskScan.hpp"
#include "Sync/Run/ListingEtag.hpp"
#include "Sync/Run/RefusedCreates.hpp"
#include "Sync/Run/RemoteListing.hpp"
#include "Sync/Run/RunReport.hpp"
#include "Sync/Run/RunWork.hpp"
#include "Sync/Run/TransferPipeline.hpp"
#include "Sync/Store/StoreError.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace Sync {

// One started run of the sync manager, as named states:
//   start (clear stale `syncing` marks, take in uploads an earlier run left
//          unrecorded: see UploadIntents)
//   -> local phase:  root folder id, disk scan (DiskScan), changes under
//                    TakeLocal, checked against the server's side
//                    (ServerSideCheck)
//   -> remote phase: root etag, stored files, remote listing (RemoteListing),
//                    changes under TakeRemote (the listing is skipped when
//                    the root etag names the stored state: ListingEtag)
//   -> (once, when the remote phase took in an item whose create the local
//      phase was refused, the two phases again: RefusedCreates)
//   -> completed.
// Each pass of a phase carries out its list of changes one at a time
// (ChangeList; each started on the manager's queue, the next only when the
// one before has completed, the uploads after an upload sent ahead), and,
// when its list held invalid changes, computes and carries out the phase
// again from fresh data: at most `maximumRepetitions` times, and no more once
// a repetition finished no change and left as many invalid changes as the
// pass before (nothing can differ the next time).
//
// Nothing the user still has is deleted on either side (DeleteSafety): when
// the first pass of a remote phase would delete on disk more than half of
// the stored items and more than DeleteSafety::trashGuardMinimum, every local
// delete of the rest of the run goes to the Trash, and the run ends by
// sending how many did to `trashedForSafety`. A cloud folder that cannot be
// listed and entered (when the run starts, or as the scan found it) ends the
// run at once with one error event, before the server is asked anything. The
// local phase never deletes what lies below a folder the scan could not
// read, and its deletes on the server wait for the server's listing.
//
// An upload of local content never replaces a server file that changed since
// its stored record unseen: the server's version is kept beside it first
// (ServerEditKeeping), and the run ends by sending what it kept to
// `serverVersionsKept`. The next run uploads the copies as new files.
//
// The listing etag is kept once a remote phase carried its listing out whole
// (no error event, no invalid change left) and none of the run's listings
// deleted anything on disk, and forgotten before the local phase or a
// listing changes the stored state (see ListingEtag).
//
// A run that finds upload intents left (the process ended between sending
// uploads and recording their answers) first lists the server and records
// what they name as its own uploads' answers; when that listing fails, the
// run ends with its failure (to `runFailures` and `checkErrors`) before the
// local phase, the intents kept.
//
// Every event goes to `syncEvents` first and then to the caller (RunReport).
// A failure of the root folder id ends the local phase without an event; a
// failure of the listing goes to `checkErrors` and ends the remote phase;
// both go to `runFailures` too. A failure of the stored state (unreadable, or
// a write that failed) goes to `checkErrors` once and ends the whole run at
// once: nothing is done that cannot be recorded. Disposing the run (ending
// its lifetime) disposes the work under way (RunWork) and starts nothing
// further.
//
// Threading: the steps follow one another on whichever thread finished the
// step before (the caller's, the queue's, or the SyncAPIClient's); no two run
// at once. Only `stop` may come from another thread at any time. Lifetime:
// every request under way holds the run; the classes beside it that outlive
// one step (ServerEditKeeping) are held by their own requests, not by the
// run, so that stopping the run lets everything go.
class SyncRun final : public std::enable_shared_from_this<SyncRun> {
public:
    static constexpr int maximumRepetitions = 20;
    // Uploads whose exchanges with the server may run at once.
    static constexpr std::size_t transfersInFlight = TransferPipeline::transfersInFlight;
    // Downloads fetched and placed at once.
    static constexpr std::size_t downloadsInFlight = TransferPipeline::downloadsInFlight;

    using Outputs = RunOutputs;

    SyncRun(std::shared_ptr<const SyncCollaborators> collaborators, RemoteChangeExecutor remoteExecutor,
        LocalChangeExecutor localExecutor, Reactive::SchedulerPtr queue, Outputs outputs);

    // Begins the run; stops it when `lifetime` ends.
    void start(const Reactive::Lifetime& lifetime);

private:
    enum class Phase { Local, Remote };

    // Takes in what uploads an earlier run sent without recording their
    // answers left on the server (see UploadIntents), then starts the local phase.
    void adoptUnrecordedUploads();
    void startPhase(Phase phase);
    void fetchChanges();
    void fetchLocalChanges();
    void scanDisk(std::int64_t rootFolderID);
    void takeScan(DiskChanges found);
    void fetchRemoteChanges();
    // Skips the listing when the root etag names the stored state, else lists.
    void listUnlessInStep();
    void listRemoteFiles(std::int64_t rootFolderID);
    // Carries out what the remote phase makes of its listing.
    void takeListing(RemoteListing listed);
    // The local phase is about to change the stored state; false when the run ended.
    [[nodiscard]] bool localPhaseActs();
    // No listing names the stored state any more; false when the run ended.
    [[nodiscard]] bool forgetListingEtag();
    // Asks for the root folder's id, then goes on with `next`; a failure ends the phase.
    void requestRootFolderID(void (*next)(SyncRun&, std::int64_t));
    // Sends the error events of the entries a view left out (first pass of a phase only).
    void reportRefused(const std::vector<SyncEventPair>& events);
    void execute(std::vector<Change> changes);
    void executeNext();
    void listDone();
    void phaseDone();
    void forward(const SyncEventPair& pair);
    // Ends the run at once: what cannot be recorded must not be done.
    void failWithStore(StoreError error);
    // Ends the run at once with one error event: the cloud folder cannot be read.
    void failWithUnreadableCloudFolder();
    // Executes the local phase's changes once they are checked against the
    // server's side (see ServerSideCheck).
    void checkAgainstServer(std::vector<Change> changes);
    void stop();
    [[nodiscard]] bool isStopped() const;

    std::shared_ptr<const SyncCollaborators> m_collaborators;
    Reactive::SchedulerPtr m_queue;
    RunReport m_report;
    std::shared_ptr<RunWork> m_work { std::make_shared<RunWork>() };
    ChangeList m_list;

    // Touched only by the step under way (see Threading).
    Phase m_phase { Phase::Local };
    std::optional<std::int64_t> m_rootFolderID;
    std::optional<StoreError> m_storeFailure;
    // The stored state as the last pass of the local phase read it, for the
    // remote phase when the local phase changed nothing (its records were
    // decoded once already).
    std::optional<std::vector<FileRef>> m_storedFiles;
    bool m_localPhaseActed { false };
    ListingEtag m_listingEtag;
    // Whether the remote phase met an error event (a refused entry included).
    bool m_remotePhaseFailed { false };
    RefusedCreates m_refusedCreates;
    int m_pass { 0 };
    DeleteSafety m_deleteSafety;
    std::optional<std::size_t> m_previousInvalidChanges;
    std::size_t m_finishedChanges { 0 };
};

} // namespace Sync
