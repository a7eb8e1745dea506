#pragma once

// Sync/Store: the stored state of the last run, one record per server item,
// that every run compares against.

#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Model/SyncFileID.hpp"

#include <functional>
#include <string_view>
#include <vector>

namespace Sync {

// The stored state as the engine programs against it: records keyed by the
// remote file id, each a FileWrapperItem with its share details. Every
// operation runs synchronously on the caller's thread; implementations
// serialise their own writes. Records handed out are new objects owned by the
// caller.
class FileStore {
public:
    // Called inside the write of `modifyOrCreate` with the stored file (null
    // when there is none) and its share details; whatever they hold afterwards
    // is written, and a null file deletes the record. Must not call the store.
    using ModifyOrCreate = std::function<void(FileRef& file, FileWrapperItem::PublicShare& publicShareInfo,
        FileWrapperItem::PrivateShares& privateShareInfos)>;

    virtual ~FileStore() = default;

    // Removes every record.
    virtual void clean() = 0;
    // Stores `file` under its own id, keeping share details already stored there.
    virtual void add(const File& file) = 0;

    // The record of a remote id; null for a local id or an unknown one.
    [[nodiscard]] virtual FileRef file(const SyncFileID& id) const = 0;
    // Stores `file` under its own id (not `id`), or with null removes the record of `id`.
    virtual void setFile(const SyncFileID& id, const File* file) = 0;
    // Reads the record of `id`, lets `change` edit it, then stores the result as `setFile` does.
    virtual void modifyFile(const SyncFileID& id, const std::function<void(FileRef&)>& change) = 0;

    // The record at a path relative to the cloud folder ("/a.txt", folders
    // with their trailing "/"), compared in NFC; null when there is none.
    [[nodiscard]] virtual FileRef file(std::string_view path) const = 0;
    // Every record.
    [[nodiscard]] virtual std::vector<FileRef> files() const = 0;

    // Reads the record of `id` with its share details, calls `apply` once and writes its result.
    virtual void modifyOrCreate(const SyncFileID& id, const ModifyOrCreate& apply) = 0;

    // Every record at once when started, and again after every committed write
    // to the database. Never fails and never completes by itself.
    [[nodiscard]] virtual Reactive::SignalProducer<std::vector<FileRef>, Reactive::NoError> filesProducer() const = 0;
};

} // namespace Sync
