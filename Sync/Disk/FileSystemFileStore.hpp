#pragma once

// Sync/Disk: the engine's eyes and hands on the cloud folder: the scan into
// files with types and content hashes, and the disk operations of a run.

#include "Platform/FileSystem/ChangeStamp.hpp"
#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Disk/ContentHashCache.hpp"
#include "Sync/Disk/DiskOperationError.hpp"
#include "Sync/Disk/DownloadedFile.hpp"
#include "Sync/Disk/FileSystemFileStoreConfiguration.hpp"
#include "Sync/Disk/PlacementBinder.hpp"
#include "Sync/Model/File.hpp"

#include <algorithm>
#include <array>
#include <expected>
#include <string>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace Sync {

// The engine's view of the cloud folder on disk: the scan into files, and
// the disk operations of a run (create a folder, place a download, delete,
// move, re-date). Nothing else of the engine or the application writes into
// the cloud folder.
//
// The scan (`files`) lists every item below the folder as a new
// FileWrapperItem: fresh local ids, the path relative to the folder with a
// leading "/" (folders end with "/"), the content modification date to the
// nanosecond, `folder` or `file` with the MIME type of the name, and the
// SHA-1 of a file's content (empty for folders and unreadable files). Items
// come in enumeration order: pre-order, names sorted per directory. Items
// named as in `ignoredNames` are left out (the contents of such a folder are
// not), and so is the staging folder with everything in it (see
// `stagingFolder`); downloads a process left there are removed.
// Hidden items are listed. Symbolic links are never followed and not
// listed; nor are other special files, items whose names are not valid UTF-8
// and items that vanish during the scan; each is logged. Content hashes are
// remembered between scans (ContentHashCache), so an unchanged file is read
// once.
//
// Every disk path comes from the Platform::PathResolver below the current
// `folderURL`: a path with "..", ".", empty components or NUL is refused
// before anything on disk is touched, and no operation leaves the folder or
// touches the folder itself except `createFolder` and `update`. Moves never
// replace anything. With an OwnChangeRegistry, every operation registers the
// paths it changes before it touches them.
//
// What the store puts on disk survives a power cut before the caller can
// record it, in this order, for every file and folder it makes: the content
// written, its mode and date set, its binding written (see PlacementBinder),
// the file synced, renamed into place, its folder synced; a folder it makes
// is synced with its parent before anything is put into it, and itself
// (date and binding) before the caller records it. A delete or move is durable the same way before it
// returns: the folders whose entries it changed are synced (for a move the
// destination's first, for a move to the Trash the Trash's folder first).
// The caller records a placement only after the call returned success. The
// syncs go through the store's DiskSync.
//
// Every disk operation logs its failure as the system always has and returns
// it. These count as success: creating a folder that exists, deleting an item
// that is already gone (also when a file now stands where its folder was), and a move whose source is gone while its
// destination holds an item of the same kind (and, for a file whose hash is
// known, the same content).
//
// A value: copies share the configuration, the cache and the registry. The
// store takes no lock of its own; a scan runs on the thread that starts
// `files`, each operation on its caller's thread, and any number may run at
// once.
class FileSystemFileStore {
public:
    using Files = std::vector<FileRef>;
    using FilesProducer = Reactive::SignalProducer<Files, Reactive::NoError>;
    // A scan's items with the change stamp each had when the scan looked at
    // it, in the same order.
    struct Scan {
        Files files;
        std::vector<Platform::ChangeStamp> stamps;
        // Folders (and other items) the scan could not read, as paths
        // relative to the cloud folder without a trailing "/"; "" when the
        // cloud folder itself could not be read, or vanished or was replaced
        // while the scan ran. What lay below them is unknown, not gone.
        std::vector<std::string> unreadable;

        [[nodiscard]] bool cloudFolderUnreadable() const
        {
            return std::ranges::find(unreadable, std::string()) != unreadable.end();
        }
        // Whether `path` (relative, a trailing "/" playing no part) lies at
        // or below an unreadable item; the unreadable item it lies in, if so.
        [[nodiscard]] const std::string* unreadableAbove(std::string_view path) const;
    };
    using ScanProducer = Reactive::SignalProducer<Scan, Reactive::NoError>;

    // Names left out of every scan, compared exactly ("Thumbs.db" is kept).
    static constexpr std::array<std::string_view, 4> ignoredNames { ".DS_Store", "desktop.ini", "thumbs.db",
        "icon\r" };
    [[nodiscard]] static bool isIgnoredName(std::string_view name);

    // A download into the cloud folder is written into the staging folder
    // (see `stagingFolder`) under a name that begins with this prefix, and
    // renamed into place once complete. Such a file still in the staging
    // folder when a scan starts was left by a process that ended, and the
    // scan removes it. Anywhere else the name is the user's like any other.
    static constexpr std::string_view stagedDownloadPrefix = ".~sync-download-";
    [[nodiscard]] static bool isStagedDownloadName(std::string_view name)
    {
        return name.starts_with(stagedDownloadPrefix);
    }
    // The engine's own folder at the top of the cloud folder, on its file
    // system (so that placing a download is one rename). Every scan skips an
    // item of this name as a whole, wherever it lies, and the views leave out
    // listing entries and records of this name with everything below them:
    // no user or server item can be in it.
    static constexpr std::string_view stagingFolderName = ".~sync-staging";
    [[nodiscard]] static bool isStagingName(std::string_view name) { return name == stagingFolderName; }
    // The staging folder of the cloud folder at `cloudFolder`: only ever a
    // real folder of this process's user, 0700, never reached through a
    // link. Whatever else holds its name (a link, wherever it points, a file,
    // another user's folder) is the user's: it is moved aside under the
    // first free name "<name> (n)" (never deleted, never followed), logged,
    // and a fresh folder is made (registered with the store's registry, and
    // synced with the cloud folder).
    [[nodiscard]] std::expected<std::string, Platform::FileSystemError> stagingFolder(
        const Platform::URL& cloudFolder) const;

    // `configuration` must not be null. `ownChanges`, `hashCache` and
    // `diskSync` are optional; without a cache the store makes its own,
    // without a DiskSync it uses the system's.
    explicit FileSystemFileStore(std::shared_ptr<const FileSystemFileStoreConfiguration> configuration,
        std::shared_ptr<Platform::OwnChangeRegistry> ownChanges = nullptr,
        std::shared_ptr<ContentHashCache> hashCache = nullptr,
        std::shared_ptr<const Platform::DiskSync> diskSync = nullptr);

    // Each start scans the folder synchronously on the starting thread, sends
    // one array and completes; it never fails. A folder that cannot be read
    // gives an empty array (`scans` says which folders could not be read). Disposing from another thread ends the scan early
    // (interrupted, no value).
    [[nodiscard]] const FilesProducer& files() const { return m_files; }
    // The same scan, with each item's change stamp.
    [[nodiscard]] const ScanProducer& scans() const { return m_scans; }
    [[nodiscard]] const std::shared_ptr<const FileSystemFileStoreConfiguration>& configuration() const
    {
        return m_state->configuration;
    }
    // The registry every change of the store (and of the downloads it
    // stages) is registered with; may be null.
    [[nodiscard]] const std::shared_ptr<Platform::OwnChangeRegistry>& ownChanges() const { return m_state->ownChanges; }

    // Creates the folder `file` describes (its type must be folder) with
    // missing parents, dated with its lastModifiedDate, each folder made
    // synced with its parent. With a `binder`, the folder's binding is
    // written before the folder itself is synced; a folder that was there
    // already is bound and synced too. Logs
    // "❗️directory couldn't be created: " and the URL on failure.
    [[nodiscard]] DiskOperationResult createFolder(const File& file, const PlacementBinder* binder = nullptr) const;
    // How a delete is done: as `movesToTrash` says now, or into the Trash whatever it says.
    enum class Removal { asConfigured, toTrash };

    // Moves the item to the Trash or removes it, as `removal` says. Logs
    // "❗️file couldn't be removed: " and the URL on failure.
    [[nodiscard]] DiskOperationResult deleteItem(const File& file, Removal removal = Removal::asConfigured) const;
    // Moves the item where `from` lies to where `to` says; nothing when both
    // are the same place. Never replaces an item and makes no parents. Logs
    // "❗️ couldn't move file locally: " and the error on failure.
    [[nodiscard]] DiskOperationResult move(const File& from, const File& to) const;
    // Puts the content of `downloaded` at `file.path()` below the cloud
    // folder at `cloudFolder` (the one its change was started for; a file's
    // path; missing parents made), with the mode a new file
    // of the user's gets and dated with `file`'s lastModifiedDate: staged in
    // the staging folder (copied there when it lies on another file system),
    // then placed durably (see above). With ReplaceExisting::Yes it replaces
    // a file there in one step, never a folder; with No nothing there is
    // replaced. Every path it touches is registered first. Answers the
    // placed file's path. With a `binder`, the file's binding is written on
    // the staged file after its mode and date, so that it is synced with
    // them and is there from the moment the file takes its name; without
    // one the placed file carries no binding. On failure the item at the
    // path is as it was (or, when only the last folder sync failed, the new
    // file is in place) and neither the staged nor the downloaded file is
    // left. The placed file's content hash (`file`'s) is remembered for the
    // next scan. Logs "❗️file couldn't be placed: " and the URL on failure.
    [[nodiscard]] std::expected<std::string, DiskOperationError> placeDownload(DownloadedFile downloaded,
        const File& file, const Platform::URL& cloudFolder, Platform::ReplaceExisting replace,
        const PlacementBinder* binder = nullptr) const;
    // Binds the file already in place at `file.path()` below the cloud
    // folder at `cloudFolder` (placed by a run that ended before its record,
    // or the user's with the same content) through `binder`, and syncs it:
    // the binding is durable before the caller records the file. Logs
    // "❗️file couldn't be placed: " and the URL on failure.
    [[nodiscard]] DiskOperationResult bindInPlace(const File& file, const Platform::URL& cloudFolder,
        const PlacementBinder& binder) const;
    // Copies the bytes of the file at `file.path()` below the cloud folder
    // at `cloudFolder`, as they are now, to the first free name beside it of
    // "<stem> (lokale Kopie).<ext>", "<stem> (lokale Kopie 2).<ext>" …, placed
    // as durably as a download and dated with `file`'s lastModifiedDate; the
    // file itself stays as it is, and the copy carries none of its extended
    // attributes (it is a new file of the user's). Answers the copy's path
    // relative to the cloud folder. Logs "❗️file couldn't be placed: " and
    // the URL on failure.
    [[nodiscard]] std::expected<std::string, DiskOperationError> keepCopy(const File& file,
        const Platform::URL& cloudFolder) const;
    // Sets the item's content modification date to its lastModifiedDate.
    // Not logged.
    [[nodiscard]] DiskOperationResult update(const File& file) const;
    // `file` lies on disk with its content hash and date (found in place
    // with the server's content; `placeDownload` learns what it places
    // itself): the next scan takes the hash without reading it.
    void learnPlacedContent(const File& file) const;

private:
    struct State {
        std::shared_ptr<const FileSystemFileStoreConfiguration> configuration;
        std::shared_ptr<Platform::OwnChangeRegistry> ownChanges;
        std::shared_ptr<ContentHashCache> hashCache;
        std::shared_ptr<const Platform::DiskSync> diskSync;
        // Held while missing folders are made: a folder another placement is
        // making exists before its name is durable, and a file placed into it
        // must not be recorded before then.
        mutable std::mutex folderMaking {};
    };

    static void scan(const State& state, const Reactive::Observer<Scan, Reactive::NoError>& observer,
        const Reactive::Lifetime& lifetime);
    [[nodiscard]] Platform::OwnChangeRegistry::Registration registerChange(const std::string& path,
        Platform::OwnChangeRegistry::Scope scope) const;
    // Makes the missing folders down to `path` one by one, each synced with
    // its parent; every one registered while it is made. Whether `path`
    // itself was made.
    [[nodiscard]] std::expected<bool, Platform::FileSystemError> makeFolders(const std::string& path,
        std::vector<Platform::OwnChangeRegistry::Registration>& registrations) const;
    // Syncs the folder holding `path`; a folder that is gone counts as synced.
    [[nodiscard]] std::expected<void, Platform::FileSystemError> syncFolderOf(const std::string& path) const;

    std::shared_ptr<const State> m_state;
    ScanProducer m_scans;
    FilesProducer m_files;
};

} // namespace Sync
