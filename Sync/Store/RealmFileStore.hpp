#pragma once

#include "Platform/Database/Database.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Store/FileStore.hpp"

namespace Sync {

// The FileStore over the shared database: one FileWrapper row per server item.
//
// The store holds only its database factory and calls it once at the start
// of every operation (a lookup by local id, or the removal of a record that
// is not there, ends before that); it keeps no handle between operations. So
// any thread may call any operation; writes are serialised by the database
// across threads and processes. The store takes no locks of its own.
//
// The listing etag and the upload intents are rows of the same table
// (FileWrapper::listingEtagKey, FileWrapper::uploadIntentsKey), so `clean`
// removes them with the records.
//
// A file with a local id has no key: `add`, `setFile` and `modifyOrCreate`
// log it and store nothing.
class RealmFileStore final : public FileStore {
public:
    // `createRealm` opens a handle on the calling thread; `deliveryScheduler`
    // is where `filesProducer` delivers its values.
    RealmFileStore(Platform::DatabaseFactory createRealm, Reactive::SchedulerPtr deliveryScheduler);

    StoreResult<> clean() override;
    [[nodiscard]] std::optional<std::string> listingEtag() const override;
    StoreResult<> setListingEtag(const std::optional<std::string>& etag) override;
    [[nodiscard]] std::vector<UploadIntent> uploadIntents() const override;
    StoreResult<> setUploadIntents(const std::vector<UploadIntent>& intents) override;
    StoreResult<> add(const File& file) override;
    [[nodiscard]] FileRef file(const SyncFileID& id) const override;
    StoreResult<> setFile(const SyncFileID& id, const FileRef& file) override;
    [[nodiscard]] FileRef fileAtPath(const std::string& path) const override;
    [[nodiscard]] StoreResult<std::vector<FileRef>> loadFiles() const override;
    StoreResult<> modifyOrCreate(const SyncFileID& id, const ModifyOrCreate& apply) override;
    [[nodiscard]] StoredRowsWrite storedRowsWrite(const StoredChange& change) const override;
    [[nodiscard]] Reactive::SignalProducer<std::vector<FileRef>, Reactive::NoError> filesProducer() const override;

private:
    // The data of the row of `key` (one of the rows that are not files), none
    // when there is none or it cannot be read; whether there is one, without
    // reading it. A failed read is logged and reads as none.
    [[nodiscard]] std::optional<Platform::DatabaseBlob> storedData(std::int64_t key) const;
    [[nodiscard]] bool isStored(std::int64_t key) const;

    Platform::DatabaseFactory m_createRealm;
    Reactive::SchedulerPtr m_deliveryScheduler;
};

} // namespace Sync
