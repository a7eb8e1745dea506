#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Status/FileSyncStatus.hpp"
#include "Sync/Store/FileStore.hpp"
#include "Sync/Store/StoreError.hpp"
#include "Sync/Store/StoredChange.hpp"

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Sync {

// The key of an item's status row: the path of the standardized file URL
// (dot segments resolved, no trailing "/" except for the root) in NFC. The
// extension uses it too, to compare an item's URL with the cloud folder's.
[[nodiscard]] std::string realmIdentifierPath(const Platform::URL& url);

using FileSyncStatuses = std::unordered_map<Platform::URL, FileSyncStatus>;

// The engine's store of per-file sync status, keyed by absolute path. The
// engine writes; the file-manager extension reads from another process.
//
// Failures (an unopenable database, a failed commit) are logged once and
// answered as a StoreError by every writing call; reads answer as if there
// were no rows. Nothing is retried.
class FileSyncStatusStore {
public:
    virtual ~FileSyncStatusStore() = default;

    // The items whose statuses `statusProducer` reports; in memory only, per
    // store object, starting empty. The store never changes the set itself.
    [[nodiscard]] virtual std::unordered_set<Platform::URL> trackedURLs() const = 0;
    virtual void setTrackedURLs(std::unordered_set<Platform::URL> urls) = 0;
    virtual void modifyTrackedURLs(const std::function<void(std::unordered_set<Platform::URL>&)>& change) = 0;

    // True when any row, tracked or not, is syncing.
    [[nodiscard]] virtual bool hasSyncingFiles() const = 0;
    // Sends nothing at start; after each commit to the database file (from any
    // thread or process) the statuses of the tracked items that have a row,
    // keyed by the tracked URL. A folder reading up to date reads syncing while
    // any row below it (its key followed by "/") is syncing. Never fails or
    // completes by itself.
    [[nodiscard]] virtual Reactive::SignalProducer<FileSyncStatuses, Reactive::NoError> statusProducer() const = 0;

    // Sets the status of `file`, located below `cloudFolder`, to `status`.
    virtual StoreResult<> mark(const File& file, FileSyncStatus status, const Platform::URL& cloudFolder) = 0;
    // The same for every file, in one write transaction; nothing at all for an empty list.
    virtual StoreResult<> mark(const std::vector<FileRef>& files, FileSyncStatus status, const Platform::URL& cloudFolder) = 0;
    // Sets every row with `status` to up to date, in one write transaction; rows are kept.
    virtual StoreResult<> removeAll(FileSyncStatus matching) = 0;
    // Removes the row of the item at `fileURL`.
    virtual StoreResult<> remove(const Platform::URL& fileURL) = 0;
    // Removes the row of `file`, located below `cloudFolder`.
    virtual StoreResult<> remove(const File& file, const Platform::URL& cloudFolder) = 0;
    // Writes `change`: its status rows here and its record into `records`. A
    // store over a database writes both in one write transaction when `records`
    // offers its rows (both stores are then over the same database file); the
    // others write the record first, then the statuses, and stop at the first failure.
    virtual StoreResult<> record(const StoredChange& change, FileStore& records);
    // Removes every row; `trackedURLs` stays as it is.
    virtual StoreResult<> clean() = 0;

    // The status of the item at `url`: unknown without a row; a folder whose
    // row reads up to date reads syncing while anything below it is syncing.
    [[nodiscard]] virtual FileSyncStatus status(const Platform::URL& url) const = 0;
    virtual StoreResult<> setStatus(const Platform::URL& url, FileSyncStatus status) = 0;
    // Reads the status of `url`, lets `change` change it, and writes the result.
    virtual StoreResult<> modifyStatus(const Platform::URL& url, const std::function<void(FileSyncStatus&)>& change)
    {
        auto current = status(url);
        change(current);
        return setStatus(url, current);
    }
};

} // namespace Sync
