#include "Sync/Status/RealmFileSyncStatusStore.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Sync/Status/FileStatus.hpp"
#include "Sync/Store/DatabaseChangeProducer.hpp"
#include "Sync/Store/StoreWrite.hpp"

#include <algorithm>
#include <mutex>
#include <utility>

namespace Sync {

using Platform::Database;
using Platform::DatabaseError;
using Platform::DatabaseQuery;

struct RealmFileSyncStatusStore::TrackedURLs {
    mutable std::mutex mutex;
    std::unordered_set<Platform::URL> urls;
};

namespace {

void logFailure(const DatabaseError& error)
{
    Platform::Log::failure(error.description());
}

FileSyncStatus readStatus(std::int64_t stored)
{
    return fileSyncStatus(stored).value_or(FileSyncStatus::unknown);
}

// What lies below the item with `key`: its key followed by "/" (the root's
// key already ends with "/"). Case-sensitive, and a sibling whose name merely
// begins with the same letters is not below it.
std::string prefixBelow(const std::string& key)
{
    return key.ends_with('/') ? key : key + '/';
}

DatabaseQuery syncingRows()
{
    return DatabaseQuery::equal("status", rawValue(FileSyncStatus::syncing));
}

// The row's status, with an up-to-date folder reading syncing while anything below it is.
FileSyncStatus statusOf(Database& database, const FileStatus& row)
{
    auto status = readStatus(row.status);
    if (status != FileSyncStatus::upToDate)
        return status;
    auto below = database.exists<FileStatus>(DatabaseQuery::hasPrefix("filePath", prefixBelow(row.filePath))
        && syncingRows());
    if (!below) {
        logFailure(below.error());
        return status;
    }
    return *below ? FileSyncStatus::syncing : FileSyncStatus::upToDate;
}

template<class Result>
std::expected<void, DatabaseError> asVoid(const std::expected<Result, DatabaseError>& result)
{
    if (!result)
        return std::unexpected(result.error());
    return {};
}

// The statuses of the tracked items that have rows, keyed by the tracked URL.
// Whether anything below an up-to-date folder is syncing comes from one
// indexed query of the syncing rows, however many items are tracked.
FileSyncStatuses trackedStatuses(Database& database, const RealmFileSyncStatusStore::TrackedURLs& tracked)
{
    std::unordered_map<std::string, std::vector<Platform::URL>> urlsByKey;
    {
        std::lock_guard lock(tracked.mutex);
        for (const auto& url : tracked.urls)
            urlsByKey[realmIdentifierPath(url)].push_back(url);
    }
    std::vector<Platform::DatabaseValue> keys;
    keys.reserve(urlsByKey.size());
    for (const auto& entry : urlsByKey)
        keys.emplace_back(entry.first);
    auto rows = database.objects<FileStatus>(DatabaseQuery::isIn("filePath", std::move(keys)));
    if (!rows) {
        logFailure(rows.error());
        return {};
    }

    std::vector<std::string> syncingPaths;
    bool anyUpToDate = std::any_of(rows->begin(), rows->end(),
        [](const FileStatus& row) { return readStatus(row.status) == FileSyncStatus::upToDate; });
    if (anyUpToDate) {
        auto read = database.forEachObject<FileStatus>(syncingRows(),
            [&](const FileStatus& row) { syncingPaths.push_back(row.filePath); });
        if (!read)
            logFailure(read.error());
        std::sort(syncingPaths.begin(), syncingPaths.end());
    }

    FileSyncStatuses statuses;
    for (const auto& row : *rows) {
        auto status = readStatus(row.status);
        if (status == FileSyncStatus::upToDate) {
            auto prefix = prefixBelow(row.filePath);
            auto next = std::lower_bound(syncingPaths.begin(), syncingPaths.end(), prefix);
            if (next != syncingPaths.end() && next->starts_with(prefix))
                status = FileSyncStatus::syncing;
        }
        for (const auto& url : urlsByKey[row.filePath])
            statuses[url] = status;
    }
    return statuses;
}

} // namespace

RealmFileSyncStatusStore::RealmFileSyncStatusStore(Platform::DatabaseFactory createRealm,
    Reactive::SchedulerPtr deliveryScheduler)
    : m_createRealm(std::move(createRealm))
    , m_deliveryScheduler(std::move(deliveryScheduler))
    , m_trackedURLs(std::make_shared<TrackedURLs>())
{
}

std::unordered_set<Platform::URL> RealmFileSyncStatusStore::trackedURLs() const
{
    std::lock_guard lock(m_trackedURLs->mutex);
    return m_trackedURLs->urls;
}

void RealmFileSyncStatusStore::setTrackedURLs(std::unordered_set<Platform::URL> urls)
{
    std::lock_guard lock(m_trackedURLs->mutex);
    m_trackedURLs->urls = std::move(urls);
}

void RealmFileSyncStatusStore::modifyTrackedURLs(
    const std::function<void(std::unordered_set<Platform::URL>&)>& change)
{
    std::lock_guard lock(m_trackedURLs->mutex);
    change(m_trackedURLs->urls);
}

bool RealmFileSyncStatusStore::hasSyncingFiles() const
{
    auto database = m_createRealm();
    if (!database) {
        logFailure(database.error());
        return false;
    }
    auto syncing = database->exists<FileStatus>(syncingRows());
    if (!syncing) {
        logFailure(syncing.error());
        return false;
    }
    return *syncing;
}

Reactive::SignalProducer<FileSyncStatuses, Reactive::NoError> RealmFileSyncStatusStore::statusProducer() const
{
    auto tracked = m_trackedURLs;
    return databaseChangeProducer<FileSyncStatuses>(m_createRealm, m_deliveryScheduler, false,
        [tracked](Database& database) -> std::optional<FileSyncStatuses> {
            return trackedStatuses(database, *tracked);
        });
}

StoreResult<> RealmFileSyncStatusStore::mark(const File& file, FileSyncStatus status,
    const Platform::URL& cloudFolder)
{
    auto url = fileURL(file, cloudFolder);
    if (!url) {
        Platform::Log::failure("Not marking a file whose path leaves the cloud folder: " + file.path());
        return {};
    }
    return setStatus(*url, status);
}

StoreResult<> RealmFileSyncStatusStore::mark(const std::vector<FileRef>& files, FileSyncStatus status,
    const Platform::URL& cloudFolder)
{
    if (files.empty())
        return {};
    return storeWrite(m_createRealm, [&](Database& database) -> std::expected<void, DatabaseError> {
        for (const auto& file : files) {
            auto url = fileURL(*file, cloudFolder);
            if (!url) {
                Platform::Log::failure("Not marking a file whose path leaves the cloud folder: " + file->path());
                continue;
            }
            if (auto written = database.add(FileStatus { realmIdentifierPath(*url), rawValue(status) }); !written)
                return written;
        }
        return {};
    });
}

StoreResult<> RealmFileSyncStatusStore::removeAll(FileSyncStatus matching)
{
    return storeWrite(m_createRealm, [&](Database& database) {
        return asVoid(database.update<FileStatus>("status", rawValue(FileSyncStatus::upToDate),
            DatabaseQuery::equal("status", rawValue(matching))));
    });
}

StoreResult<> RealmFileSyncStatusStore::remove(const Platform::URL& fileURL)
{
    return storeWrite(m_createRealm,
        [&](Database& database) { return asVoid(database.remove<FileStatus>(realmIdentifierPath(fileURL))); });
}

StoreResult<> RealmFileSyncStatusStore::remove(const File& file, const Platform::URL& cloudFolder)
{
    auto url = fileURL(file, cloudFolder);
    if (!url) {
        Platform::Log::failure("Not removing the status of a file whose path leaves the cloud folder: " + file.path());
        return {};
    }
    return remove(*url);
}

StoreResult<> RealmFileSyncStatusStore::record(const StoredChange& change, FileStore& records)
{
    auto recordRows = records.storedRowsWrite(change);
    if (!recordRows)
        return FileSyncStatusStore::record(change, records);
    return storeWrite(m_createRealm, [&](Database& database) -> std::expected<void, DatabaseError> {
        if (auto stored = recordRows(database); !stored)
            return stored;
        for (const auto& url : change.removedStatuses) {
            if (auto removed = database.remove<FileStatus>(realmIdentifierPath(url)); !removed)
                return std::unexpected(removed.error());
        }
        for (const auto& url : change.upToDate) {
            if (auto written = database.add(FileStatus { realmIdentifierPath(url), rawValue(FileSyncStatus::upToDate) });
                !written)
                return written;
        }
        return {};
    });
}

StoreResult<> RealmFileSyncStatusStore::clean()
{
    return storeWrite(m_createRealm, [](Database& database) { return asVoid(database.removeAll<FileStatus>()); });
}

FileSyncStatus RealmFileSyncStatusStore::status(const Platform::URL& url) const
{
    auto database = m_createRealm();
    if (!database) {
        logFailure(database.error());
        return FileSyncStatus::unknown;
    }
    auto row = database->object<FileStatus>(realmIdentifierPath(url));
    if (!row) {
        logFailure(row.error());
        return FileSyncStatus::unknown;
    }
    return *row ? statusOf(*database, **row) : FileSyncStatus::unknown;
}

StoreResult<> RealmFileSyncStatusStore::setStatus(const Platform::URL& url, FileSyncStatus status)
{
    return storeWrite(m_createRealm,
        [&](Database& database) { return database.add(FileStatus { realmIdentifierPath(url), rawValue(status) }); });
}

} // namespace Sync
