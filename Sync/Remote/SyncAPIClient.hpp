#pragma once

// Sync/Remote: the engine's only road to the remote storage, declared by the
// engine and implemented by the application over its REST client.

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Disk/DownloadedFile.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Sharing/PrivateShareInfo.hpp"
#include "Sync/Sharing/PublicShareInfo.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Sync {

// Whether a placed download lands where nothing lies yet or replaces the item there.
using ReplaceExisting = Platform::ReplaceExisting;

// The remote service as the engine uses it. Every member answers a cold
// producer; nothing reaches the server until it is started. The engine starts
// each producer at most once per change and never retries a single call.
//
// What the engine relies on:
// - every producer sends its one value and completes, or fails with an
//   AnyError (whose description is what the engine logs and reports);
// - the engine acts on the value the moment it arrives and counts completion
//   without a value as success without the updates that hang on the value;
// - a call that cannot address the server item (no remote id where one is
//   needed) answers a failed producer, never a crash;
// - producers may be started from any thread and may deliver on any thread;
//   the engine's reactions run on the delivering thread.
//
// "cloudFolder" is the cloud folder's file URL, read by the engine just
// before the call. Paths of the files passed in are relative to it.
class SyncAPIClient {
public:
    template<class T>
    using Producer = Reactive::SignalProducer<T, Reactive::AnyError>;
    using PublicShare = std::shared_ptr<const PublicShareInfo>;
    using PrivateShares = std::vector<std::shared_ptr<const PrivateShareInfo>>;

    virtual ~SyncAPIClient() = default;

    // The remote id of the account's root folder.
    [[nodiscard]] virtual Producer<std::int64_t> syncRootFolderID() = 0;
    // The whole remote tree below the root as one flat list (folder paths end
    // with "/", the root itself is not listed).
    [[nodiscard]] virtual Producer<std::vector<FileRef>> syncRemoteFiles() = 0;
    // The etag of the root folder; changes whenever anything below it changes.
    [[nodiscard]] virtual Producer<std::string> syncRootEtag() = 0;

    // The content of the remote file `file.syncFileID()` as the server holds
    // it, in a finished file of the transport's, anywhere but in the cloud
    // folder: the engine puts it in place through its disk store, and the
    // file removes itself when nobody does. Nothing is written into the
    // cloud folder here.
    [[nodiscard]] virtual Producer<DownloadedFileRef> syncDownload(FileRef file) = 0;
    // Uploads the new local file read from `file.path()` below the cloud
    // folder, into the folder `file.syncParentID()`. Sends the file as the
    // server now holds it (remote id, name, path, parent, date, type, etag,
    // share flags, hash).
    [[nodiscard]] virtual Producer<FileRef> syncUpload(FileRef file, Platform::URL cloudFolder) = 0;
    // Uploads new content for the known remote file `file.syncFileID()`.
    [[nodiscard]] virtual Producer<FileRef> syncReupload(FileRef file, Platform::URL cloudFolder) = 0;
    // Creates the folder `file` describes in `file.syncParentID()`.
    [[nodiscard]] virtual Producer<FileRef> syncCreateFolder(FileRef file) = 0;
    // Deletes the item. Completion, with or without a value, means the item
    // no longer exists on the server; so does the server's answer that it
    // has no such item, which completes too (the engine would otherwise keep
    // asking to delete it at every run).
    [[nodiscard]] virtual Producer<Reactive::Unit> syncDelete(FileRef file) = 0;
    // `file` describes the item after the change: its new name in the same parent.
    [[nodiscard]] virtual Producer<FileRef> syncRename(FileRef file) = 0;
    // `file` describes the item after the change: its new parent (and name).
    [[nodiscard]] virtual Producer<FileRef> syncMove(FileRef file) = 0;
    // Called only for a file whose hasPublicShare is true; one value.
    [[nodiscard]] virtual Producer<PublicShare> syncPublicShareInfo(FileRef file) = 0;
    // Called only for a file whose hasPrivateShares is true; one value.
    [[nodiscard]] virtual Producer<PrivateShares> syncPrivateShareInfos(FileRef file) = 0;
};

} // namespace Sync
