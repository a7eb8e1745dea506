#pragma once

// Sync/Execution: carrying out one change, on the server (remote changes) or
// on the disk and in the stored state (local changes), and reporting it as
// sync events.

#include "Platform/Foundation/URL.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/References/FileReferenceMapping.hpp"
#include "Sync/Remote/SyncAPIClient.hpp"
#include "Sync/Status/FileSyncStatusStore.hpp"
#include "Sync/Store/FileStore.hpp"

#include <memory>

namespace Sync {

// The engine objects a run works with, set once when the manager is built
// and shared (never copied) by the manager, its runs and both executors.
// None of them may be null.
struct SyncCollaborators {
    std::shared_ptr<SyncAPIClient> apiClient;
    FileSystemFileStore fileSystemStore;
    std::shared_ptr<FileStore> fileStore;
    std::shared_ptr<FileReferenceMapping> fileReferenceMapping;
    std::shared_ptr<FileSyncStatusStore> fileSyncStatusStore;

    // The cloud folder as the configuration says now; read afresh by every step.
    [[nodiscard]] Platform::URL cloudFolder() const { return fileSystemStore.configuration()->folderURL().value(); }
    // Writes what a carried-out change stores, record and status rows together.
    StoreResult<> record(const StoredChange& change) const { return fileSyncStatusStore->record(change, *fileStore); }
};

} // namespace Sync
