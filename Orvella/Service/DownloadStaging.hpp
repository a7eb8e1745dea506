#pragma once

#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Platform/Foundation/Date.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Remote/SyncAPIClient.hpp"

#include <expected>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Orvella {

// How one download of the sync engine is put in place. The transport's
// finished file is first moved (or, from another file system, copied) to the
// path the engine's disk store gives for a staged download, so that it is on the cloud folder's file system (the final rename
// is atomic) and never where the scan looks or a user or server item can be
// (the scan skips that folder and removes what a killed run left there);
// only then is it renamed onto the target. Every path the placement touches (the staged file, the
// folders it makes, the placed file and its date) is registered as the
// engine's own change (in the disk store's registry) for as long as this object lives. Whatever fails, and
// when the object goes, neither the staged file nor the transport's file is left.
//
// Threading: the steps run one after another on whatever thread the
// download delivers on; `discard` may run on any thread, at any time.
class DownloadStaging {
public:
    // Resolves the target of `file` below `cloudFolder` through the engine's
    // safe join; a refused path fails with `SyncAdapterError::refusedPath`
    // before anything is touched.
    [[nodiscard]] static std::expected<std::shared_ptr<DownloadStaging>, Reactive::AnyError> prepare(
        const Sync::File& file, const Platform::URL& cloudFolder, std::shared_ptr<const Sync::FileSystemFileStore> diskStore);

    ~DownloadStaging();

    // Takes over the transport's complete file `downloaded`, creates the
    // missing folders above the target, stages the file, moves it onto the
    // target (replacing what lies there only when asked, never a folder) and
    // dates it `modified`. A failure leaves the target as it was.
    [[nodiscard]] Reactive::Result<Platform::URL, Reactive::AnyError> place(const Platform::URL& downloaded,
        Platform::Date modified, Sync::ReplaceExisting replace);
    // Removes the staged file and the transport's file if they are still there.
    void discard();

    [[nodiscard]] const std::string& destination() const { return m_destination; }
    // Where the file is staged; empty until the download has arrived.
    [[nodiscard]] std::string stagedPath() const;

    struct PassKey {};
    DownloadStaging(PassKey, std::string destination, Platform::URL cloudFolder,
        std::shared_ptr<const Sync::FileSystemFileStore> diskStore);

private:
    void registerChange(const std::string& path);
    [[nodiscard]] std::expected<void, Reactive::AnyError> makeParentFolders();
    [[nodiscard]] std::expected<void, Reactive::AnyError> stage(const std::string& downloaded);
    [[nodiscard]] std::expected<void, Reactive::AnyError> moveOntoTarget(const std::string& source, Sync::ReplaceExisting replace);

    std::string m_destination;
    std::string m_parent;
    Platform::URL m_cloudFolder;
    std::shared_ptr<const Sync::FileSystemFileStore> m_diskStore;
    std::shared_ptr<Platform::OwnChangeRegistry> m_ownChanges;
    std::string m_stagedPath;
    mutable std::mutex m_mutex;
    std::vector<Platform::OwnChangeRegistry::Registration> m_registrations;
    std::string m_downloaded;
};

// The errors the adapter raises for a refused path and for a folder request
// on something that is not a folder.
[[nodiscard]] Reactive::AnyError refusedPathError(const Sync::File& file);
[[nodiscard]] Reactive::AnyError notAFolderError(const Sync::File& file);

} // namespace Orvella
