#pragma once

#include "Sync/Changes/FileOperation.hpp"
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
// SyncAPIClient delivers. Keeps no state between changes.
class LocalChangeExecutor {
public:
    using ShareInfos = std::tuple<FileRef, SyncAPIClient::PublicShare, SyncAPIClient::PrivateShares>;

    explicit LocalChangeExecutor(std::shared_ptr<const SyncCollaborators> collaborators);

    using Removal = FileSystemFileStore::Removal;

    // Events of one change, every one carrying Change::local(operation).
    // A delete is done as `removal` says. Never fails; nothing happens until started.
    [[nodiscard]] SyncEventProducer performLocalOperation(const FileOperation& operation,
        Removal removal = Removal::asConfigured) const;

    // The file with its public share (none unless hasPublicShare) and its
    // private shares (empty unless hasPrivateShares); the two calls run at
    // the same time and the triple is sent once both have answered (again
    // for every later answer). Fails when either call fails.
    [[nodiscard]] static SyncAPIClient::Producer<ShareInfos> fetchShareInfos(const FileRef& file,
        const std::shared_ptr<SyncAPIClient>& apiClient);

private:
    [[nodiscard]] SyncEventProducer createFile(const Change& change, const FileRef& file) const;
    [[nodiscard]] SyncEventProducer createFolder(const Change& change, const FileRef& file) const;
    [[nodiscard]] SyncEventProducer updateFile(const Change& change, const FileRef& file) const;
    [[nodiscard]] SyncEventProducer remove(const Change& change, const FileRef& file, Removal removal) const;
    [[nodiscard]] SyncEventProducer move(const Change& change, const FileRef& from, const FileRef& to) const;
    [[nodiscard]] SyncEventProducer updateMetaData(const Change& change, const FileRef& file) const;

    std::shared_ptr<const SyncCollaborators> m_collaborators;
};

} // namespace Sync
