#pragma once

// Sync/Store: the stored state of the last run, one record per server item,
// kept in the shared database and read by the engine and the file-manager extension.

#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Model/SyncFileID.hpp"
#include "Sync/Store/StoreError.hpp"
#include "Sync/Store/StoredChange.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Sync {

// An upload as the engine is about to send it, kept until the run that sent
// it has recorded its answer: a run that ends in between leaves the server
// holding content no record knows of, and the next run tells its own upload
// from another client's item by it.
struct UploadIntent {
    // The item an update replaces; none for a new item.
    std::optional<std::int64_t> fileID;
    // Where a new item goes: its parent folder's remote id and its name (NFC).
    std::int64_t parentID = 0;
    std::string name;
    // The content's hash as the scan read it.
    std::string fileHash;

    bool operator==(const UploadIntent&) const = default;
};

// The engine's store of file records as they stood after the last successful
// sync. Records are keyed by remote file id; files with a local id cannot be
// stored. Every File handed out is a FileWrapperItem decoded afresh from the
// database: changing it changes nothing stored until it is written back.
//
// Failures (an unopenable database, a failed commit) are logged once and
// answered as a StoreError by every writing call and by `loadFiles`; the
// other reads answer as if nothing was stored. Nothing is retried.
class FileStore {
public:
    using PublicShare = FileWrapperItem::PublicShare;
    using PrivateShares = FileWrapperItem::PrivateShares;
    // Changes a record in place: the file (nullptr for none), its public share
    // details and its private share details.
    using ModifyOrCreate = std::function<void(FileRef& file, PublicShare& publicShareInfo, PrivateShares& privateShareInfos)>;

    virtual ~FileStore() = default;

    // Removes every record, and the listing etag with them.
    virtual StoreResult<> clean() = 0;
    // The root etag of the server listing that the records were last brought
    // in step with, whole and without a failure; none when no such listing is
    // known. The engine need not fetch the listing again while the server's
    // root etag is this one. A store that cannot keep it answers none (the
    // engine then lists at every run); a failed read answers none too.
    [[nodiscard]] virtual std::optional<std::string> listingEtag() const { return std::nullopt; }
    // Keeps `etag` as the listing etag; none forgets it. Writes nothing when
    // the stored value is already that.
    virtual StoreResult<> setListingEtag(const std::optional<std::string>& etag)
    {
        static_cast<void>(etag);
        return {};
    }
    // The uploads a run was about to send and has not recorded the answers
    // of (see UploadIntent); none when the store cannot keep them, or its
    // read failed (logged).
    [[nodiscard]] virtual std::vector<UploadIntent> uploadIntents() const { return {}; }
    // Keeps `intents` in place of those kept before, in one write; an empty
    // list forgets them. Writes nothing when the stored list is already that.
    virtual StoreResult<> setUploadIntents(const std::vector<UploadIntent>& intents)
    {
        static_cast<void>(intents);
        return {};
    }
    // Stores `file` under its own id, keeping share details already stored
    // under that id. A file with a local id is logged and not stored (no failure).
    virtual StoreResult<> add(const File& file) = 0;
    // The record with `id`, or nullptr (always for a local id).
    [[nodiscard]] virtual FileRef file(const SyncFileID& id) const = 0;
    // Stores `file` under its own id (not `id`), keeping stored share details;
    // nullptr removes the record with `id`.
    virtual StoreResult<> setFile(const SyncFileID& id, const FileRef& file) = 0;
    // Reads the record with `id`, lets `change` change it, and writes the result back as `setFile` does.
    virtual StoreResult<> modifyFile(const SyncFileID& id, const std::function<void(FileRef&)>& change)
    {
        auto current = file(id);
        change(current);
        return setFile(id, current);
    }
    // The record whose path equals `path` (relative to the cloud folder,
    // starting with "/") after conversion to NFC, exactly and case-sensitively; a
    // folder only under its path with the trailing "/". nullptr when none.
    [[nodiscard]] virtual FileRef fileAtPath(const std::string& path) const = 0;
    // Every record, in the database's order.
    [[nodiscard]] virtual StoreResult<std::vector<FileRef>> loadFiles() const = 0;
    // The same, with a failure answered as no records.
    [[nodiscard]] std::vector<FileRef> files() const
    {
        auto loaded = loadFiles();
        return loaded ? std::move(*loaded) : std::vector<FileRef>();
    }
    // In one write transaction: reads the record with `id` (nothing for a local
    // id), calls `apply` once with it and its share details, then stores the
    // result under the file's own id, or removes the record when `apply` left
    // no file. `apply` runs inside the transaction: it must not use this store
    // or write to the database, and it holds off every other writer while it runs.
    virtual StoreResult<> modifyOrCreate(const SyncFileID& id, const ModifyOrCreate& apply) = 0;
    // Keeps `link` as the public link of the record with `id` and raises its
    // flag, which is what the extension's menu reads (the next listing sets it
    // as the service says). Nothing is stored for an id without a record.
    StoreResult<> storePublicShare(const SyncFileID& id, PublicShare link);
    // The same for a folder's private shares; the flag is raised only when
    // there is at least one.
    StoreResult<> storePrivateShares(const SyncFileID& id, PrivateShares shares);
    // The record part of `change` (stored as `add` and removed as `setFile`
    // with nullptr do) as rows written inside another store's write transaction
    // on this store's database file; nullptr for a store that keeps its records
    // elsewhere, which is then written through `add` and `setFile`.
    [[nodiscard]] virtual StoredRowsWrite storedRowsWrite(const StoredChange&) const { return nullptr; }
    // Every record at start, then every record again after each commit to the
    // database file, from any thread or process. Never fails or completes by itself.
    [[nodiscard]] virtual Reactive::SignalProducer<std::vector<FileRef>, Reactive::NoError> filesProducer() const = 0;
};

} // namespace Sync
