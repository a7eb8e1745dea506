#pragma once

#include "Platform/Database/Database.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Status/FileSyncStatusStore.hpp"

#include <memory>

namespace Sync {

// The FileSyncStatusStore over the shared database: one FileStatus row per item.
//
// The store holds its database factory and calls it once at the start of
// every operation (`mark` with no files ends before that); it keeps no handle
// between operations, so any thread may call any operation. `trackedURLs` is
// guarded by the store, so the extension may change it on one thread while
// the status stream reads it on the delivery scheduler.
class RealmFileSyncStatusStore final : public FileSyncStatusStore {
public:
    // `createRealm` opens a handle on the calling thread; `deliveryScheduler`
    // is where `statusProducer` delivers its values.
    RealmFileSyncStatusStore(Platform::DatabaseFactory createRealm, Reactive::SchedulerPtr deliveryScheduler);

    [[nodiscard]] std::unordered_set<Platform::URL> trackedURLs() const override;
    void setTrackedURLs(std::unordered_set<Platform::URL> urls) override;
    void modifyTrackedURLs(const std::function<void(std::unordered_set<Platform::URL>&)>& change) override;

    [[nodiscard]] bool hasSyncingFiles() const override;
    [[nodiscard]] Reactive::SignalProducer<FileSyncStatuses, Reactive::NoError> statusProducer() const override;

    StoreResult<> mark(const File& file, FileSyncStatus status, const Platform::URL& cloudFolder) override;
    StoreResult<> mark(const std::vector<FileRef>& files, FileSyncStatus status, const Platform::URL& cloudFolder) override;
    StoreResult<> removeAll(FileSyncStatus matching) override;
    StoreResult<> remove(const Platform::URL& fileURL) override;
    StoreResult<> remove(const File& file, const Platform::URL& cloudFolder) override;
    StoreResult<> record(const StoredChange& change, FileStore& records) override;
    StoreResult<> clean() override;

    [[nodiscard]] FileSyncStatus status(const Platform::URL& url) const override;
    StoreResult<> setStatus(const Platform::URL& url, FileSyncStatus status) override;

    struct TrackedURLs;

private:
    Platform::DatabaseFactory m_createRealm;
    Reactive::SchedulerPtr m_deliveryScheduler;
    std::shared_ptr<TrackedURLs> m_trackedURLs;
};

} // namespace Sync
