#pragma once

#include "Sync/Changes/FileOperation.hpp"
#include "Sync/Execution/ChangeEvents.hpp"
#include "Sync/Execution/ExchangeAhead.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"

#include <memory>

namespace Sync {

// Carries out a change on the server (a `Change::remote`): upload, re-upload,
// create folder, delete, rename or move through the SyncAPIClient, and when
// the server answers brings the disk, the stored state, the statuses and the
// references in line with its answer:
// - create: the disk item moves to where the answer places it (a file also
//   takes the answer's date), the answer is stored, marked up to date and
//   referenced;
// - update of a file: the disk item takes the answer's date, the answer is stored;
// - delete: on completion (with or without a value) the stored record and the
//   status row go;
// - move: a rename when both parents have the same remote id (two local ids
//   count as the same), a move otherwise; the status row of the source goes,
//   the destination is marked up to date and the answer is stored;
// - update of a folder, metadata: nothing at all (no events).
// A disk step that fails makes the change an error event and skips the steps
// after it; a failed server call changes nothing.
//
// Threading: the producer may be started on any thread (the manager starts it
// on its queue); reactions run where the SyncAPIClient delivers, or, to an
// answer that came in before the change's turn, on the thread that starts
// the change. Keeps no state between changes.
class RemoteChangeExecutor {
public:
    explicit RemoteChangeExecutor(std::shared_ptr<const SyncCollaborators> collaborators);

    // Events of one change, every one carrying Change::remote(operation).
    // Never fails; nothing happens until started. `started`, from
    // startTransfer for the same operation, stands for the upload's exchange
    // with the server, which then is not sent again.
    [[nodiscard]] SyncEventProducer performRemoteOperation(const FileOperation& operation,
        std::shared_ptr<ExchangeAhead> started = nullptr) const;

    // The upload of a content transfer (carriesContent), sent now, before
    // the change's turn: nothing but the exchange with the server happens
    // until performRemoteOperation takes it over. nullptr for other changes.
    [[nodiscard]] std::shared_ptr<ExchangeAhead> startTransfer(const FileOperation& operation) const;

private:
    [[nodiscard]] SyncAPIClient::Producer<FileRef> upload(const FileOperation& operation) const;
    [[nodiscard]] SyncAPIClient::Producer<FileRef> upload(const FileOperation& operation,
        const std::shared_ptr<ExchangeAhead>& started) const;
    [[nodiscard]] SyncEventProducer create(const Change& change, const FileRef& file,
        const SyncAPIClient::Producer<FileRef>& call) const;
    [[nodiscard]] SyncEventProducer update(const Change& change, const FileRef& file,
        const SyncAPIClient::Producer<FileRef>& call) const;
    [[nodiscard]] SyncEventProducer remove(const Change& change, const FileRef& file) const;
    [[nodiscard]] SyncEventProducer move(const Change& change, const FileRef& from, const FileRef& to) const;

    std::shared_ptr<const SyncCollaborators> m_collaborators;
};

// Whether a move keeps its parent (and is sent as a rename): the remote ids
// of both parents are equal, a local id counting as none.
[[nodiscard]] bool isRename(const File& from, const File& to);

} // namespace Sync
