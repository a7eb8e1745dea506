#pragma once

#include "Sync/Changes/Change.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Run/RunWork.hpp"
#include "Sync/Store/StoreError.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Sync {

// What the local phase's look at the disk found.
struct DiskChanges {
    // The scan found the cloud folder itself unreadable; nothing else is set.
    bool cloudFolderUnreadable { false };
    // The stored state could not be read; nothing else is set.
    std::optional<StoreError> storeFailure;
    // The stored state as read for the comparison (decoded once: the remote
    // phase may read it from here).
    std::vector<FileRef> stored;
    // Under TakeLocal, nested deletes resolved.
    std::vector<Change> changes;
    // The scanned items the disk view left out, each an error event.
    std::vector<FileRef> twins;
    // The folders the scan could not read (only `unreadable` is set).
    FileSystemFileStore::Scan unreadable;
};

// Scans the cloud folder, reads the stored state, resolves the scanned
// items' identities (their bindings read ahead in one go) and compares the
// two. Both views are gone before `done` is called, and their memory is
// handed back when there are changes to run, so that the changes run holding
// only their own files; a scan that found nothing to do keeps it for the
// next run.
//
// A free function of the run's step under way: the scan is the run's work
// under way (stopping the run disposes it), and `done` keeps alive what it
// needs; it is called on the thread that finished the scan.
void scanDisk(const std::shared_ptr<const SyncCollaborators>& collaborators, RunWork& work, std::int64_t rootFolderID,
    std::function<void(DiskChanges)> done);

} // namespace Sync
