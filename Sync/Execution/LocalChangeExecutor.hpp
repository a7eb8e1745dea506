#pragma once

#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Changes/FileOperation.hpp"
#include "Sync/Execution/ExchangeAhead.hpp"
#include "Sync/Execution/ChangeEvents.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"

#include <memory>
#include <tuple>

namespace Sync {

// Carries out a change from the server on the disk and in the stored state (a
// `Change::local`):
// - create: a file is downloaded (never replacing anything) and stored; a
//   folder is created and stored; the new item's stale reference, if any, is
//   dropped by looking it up;
// - update of a file: downloaded over the item, referenced, marked up to date
//   and stored; of a folder: nothing at all (no events);
// - delete: the item goes from the disk (Trash or removal), its status row
//   and stored record go;
// - move: the item is moved unless the one at the destination already is it
//   (same remote identity); the source's status row goes, the destination is
//   stored;
// - metadata: the share information is fetched and merged into the record.
// Before anything touches the disk, LocalEditGuard refuses unsafe server paths
// and changes that would overwrite or delete a local edit; a refusal, a
// failed disk step or a failed server call is the change's error event, and
// the steps after it are skipped.
//
// Threading: create-folder, delete and move run on the thread that starts
// their producer; reactions to downloads and share calls run where the
// SyncAPIClient delivers (a download begun ahead is placed on its own
// queue). Keeps no state between changes.
class LocalChangeExecutor {
public:
    using ShareInfos = std::tuple<FileRef, SyncAPIClient::PublicShare, SyncAPIClient::PrivateShares>;

    explicit LocalChangeExecutor(std::shared_ptr<const SyncCollaborators> collaborators);

    using Removal = FileSystemFileStore::Removal;

    // Events of one change, every one carrying Change::local(operation).
    // A delete is done as `removal` says. `started`, when startTransfer
    // began it for the same operation, stands for the download and its
    // placement; it is recorded in this change's turn. Never fails; nothing
    // happens until started.
    [[nodiscard]] SyncEventProducer performLocalOperation(const FileOperation& operation,
        Removal removal = Removal::asConfigured, std::shared_ptr<ExchangeAhead> started = nullptr) const;

    // The download of a file's create or update (carriesContent), begun now,
    // before its turn: its guard checked as a start in its turn would check
    // it, and its file placed durably on `placeOn` once it arrives, but not
    // recorded. Placing ahead is safe only while nothing before the change
    // in its list is still to run but other such downloads. nullptr for
    // other changes.
    [[nodiscard]] std::shared_ptr<ExchangeAhead> startTransfer(const FileOperation& operation,
        const Reactive::SchedulerPtr& placeOn) const;

    // The file with its public share (none unless hasPublicShare) and its
    // private shares (empty unless hasPrivateShares); the two calls run at
    // the same time and the triple is sent once both have answered (again
    // for every later answer). Fails when either call fails.
    [[nodiscard]] static SyncAPIClient::Producer<ShareInfos> fetchShareInfos(const FileRef& file,
        const std::shared_ptr<SyncAPIClient>& apiClient);

private:
    [[nodiscard]] SyncEventProducer createFile(const Change& change, const FileRef& file,
        std::shared_ptr<ExchangeAhead> started) const;
    [[nodiscard]] SyncEventProducer createFolder(const Change& change, const FileRef& file) const;
    [[nodiscard]] SyncEventProducer updateFile(const Change& change, const FileRef& file,
        std::shared_ptr<ExchangeAhead> started) const;
    [[nodiscard]] SyncEventProducer remove(const Change& change, const FileRef& file, Removal removal) const;
    [[nodiscard]] SyncEventProducer move(const Change& change, const FileRef& from, const FileRef& to) const;
    [[nodiscard]] SyncEventProducer updateMetaData(const Change& change, const FileRef& file) const;

    std::shared_ptr<const SyncCollaborators> m_collaborators;
};

} // namespace Sync
