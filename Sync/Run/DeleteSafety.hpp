#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Sync/Changes/Change.hpp"
#include "Sync/Changes/ServerDeleteGuard.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/Execution/LocalChangeExecutor.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Execution/SyncEvent.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Store/StoreError.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Sync {

// What keeps a run from deleting what the user still has, on either side:
// - the mass-deletion bound: once the first pass of a remote phase would
//   delete on disk more than half of the stored items and more than
//   `trashGuardMinimum`, every local delete of the rest of the run goes to the
//   Trash whatever the configuration says;
// - unreadable folders: what a scan could not see is not gone, so no delete
//   of what lies below it goes out, and each such folder is reported once;
// - the server's side: a delete there is undone by nothing, so the local
//   phase's deletes on the server wait for its listing and spare newer work
//   there (see guardServerDeletes); unseen, none goes; and the cloud folder
//   itself is never deleted there.
// One per run; touched only by the step under way. The static parts keep
// nothing: the run asks for the listing and calls them with its answer.
class DeleteSafety {
public:
    // A remote phase whose deletes would take away more than this share of
    // the stored items, and more than `trashGuardMinimum` of them, is a
    // listing that lost what the client knows, not the user's intent.
    static constexpr std::size_t trashGuardMinimum = 50;

    // Weighs a listing whose local deletes take away `deleted` of the
    // `storedCount` stored items; once it lost most of them, every delete of
    // the run goes to the Trash.
    void weighListing(std::size_t deleted, std::size_t storedCount);
    [[nodiscard]] bool deletesToTrash() const { return m_deletesToTrash; }
    [[nodiscard]] LocalChangeExecutor::Removal removal() const;
    // Counts a finished change's local delete when the bound sent it to the Trash.
    void noteFinished(const Change& change);
    // How many deletes the bound sent to the Trash since the last call.
    [[nodiscard]] std::size_t takeTrashed();

    // Whether `folder` is a folder on disk that can be listed and entered:
    // one that cannot would scan as empty, and everything the server has
    // would read as deleted here.
    [[nodiscard]] static bool isReadableFolder(const Platform::URL& folder);
    // Drops the deletes of items at or below a folder `scan` could not read;
    // answers an error event for each of those folders the first time the
    // run meets any, none after. The events are about no change of an item:
    // no status mark that would outlast the folder's being unreadable.
    [[nodiscard]] std::vector<SyncEventPair> keepBelowUnreadable(std::vector<Change>& changes,
        const FileSystemFileStore::Scan& scan);

    // Drops every delete of `changes`: without the server's side no delete
    // there is known to be safe.
    static void holdBackDeletes(std::vector<Change>& changes);
    // The local phase's changes as they may go once checked against
    // `listing`, the server's side (absent: it could not be read, and every
    // delete waits for the next run, with the records of what lies below it,
    // which tell that run what the user deleted).
    [[nodiscard]] static GuardedDeletes checkServerDeletes(std::vector<Change> changes,
        const std::optional<std::vector<FileRef>>& listing, const std::vector<FileRef>& stored);
    // Forgets the records a check gave up (GuardedDeletes::forgotten), with
    // their status rows; stops at the first failed write.
    [[nodiscard]] static StoreResult<> forgetRecords(const SyncCollaborators& collaborators,
        const std::vector<FileRef>& records);
    // Whether `change` deletes the cloud folder itself on the server, which
    // nothing a view held may do.
    [[nodiscard]] static bool deletesCloudFolder(const Change& change, std::optional<std::int64_t> rootFolderID);

private:
    bool m_deletesToTrash { false };
    std::size_t m_trashed { 0 };
    bool m_reportedUnreadable { false };
};

} // namespace Sync
