// The scan of the cloud folder into files: one walk of the tree, hashing
// what changed since the last scan.

#include "Platform/Foundation/KillPoint.hpp"
#include "Sync/Disk/FileManager.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"

#include "Platform/FileSystem/DirectoryEnumerator.hpp"
#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/ItemStat.hpp"
#include "Platform/FileSystem/MimeTypeDatabase.hpp"
#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Sync {

namespace {

    using Platform::DirectoryEntry;
    using Platform::FileSystemErrorCode;

    constexpr std::string_view vanishedItemLine = "Cannot read date from file!";

    // Logs an item the walk could not read and notes it in `unreadable`
    // unless it vanished: what lies below an unreadable folder is unknown,
    // and must not read as deleted. `listedFolder` is the folder the walk
    // returned last: one that vanishes before the walk can enter it (deleted,
    // or moved to where the walk has already been) is in the scan without
    // anything below it, which is unknown too, not empty.
    void noteEnumerationError(const Platform::EnumerationError& error, std::vector<std::string>& unreadable,
        std::string_view listedFolder)
    {
        const bool gone = error.error.code == FileSystemErrorCode::notFound
            || error.error.code == FileSystemErrorCode::notADirectory;
        if (gone && (listedFolder.empty() || error.relativePath != listedFolder)) {
            Platform::Log::line(vanishedItemLine);
            return;
        }
        FileManager::logEnumerationError(error);
        std::string path(withoutTrailingSlash(error.relativePath));
        // Items of a folder that can be listed but not entered cannot be
        // looked at one by one: the folder is what cannot be read.
        if (auto slash = path.rfind('/'); slash != std::string::npos && slash > 0
            && error.error.code == FileSystemErrorCode::permissionDenied) {
            auto parent = error.path.substr(0, error.path.size() - (error.relativePath.size() - slash));
            if (::access(parent.c_str(), X_OK) != 0)
                path.resize(slash);
        }
        if (std::ranges::find(unreadable, path) == unreadable.end())
            unreadable.push_back(std::move(path));
    }

    // The cloud folder's identity on disk, to tell whether it stayed the same
    // folder while the scan ran.
    std::optional<std::pair<dev_t, ino_t>> folderIdentity(const std::string& root)
    {
        struct stat status {};
        if (::stat(root.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return std::nullopt;
        return std::pair(status.st_dev, status.st_ino);
    }

    // The cloud folder's own location with its links resolved: the only
    // place where the scan resolves anything.
    std::optional<std::string> scanRoot(const Platform::URL& folder)
    {
        if (!folder.isFileURL()) {
            Platform::Log::line("❗️ The cloud folder is not a file URL: " + folder.absoluteString());
            return std::nullopt;
        }
        auto canonical = Platform::PathResolver(folder.path()).canonicalFolder();
        if (!canonical) {
            Platform::Log::line("❗️ " + canonical.error().description());
            return std::nullopt;
        }
        return *canonical;
    }

    // Removes what downloads left in the staging folder when their process
    // ended: only files of the engine's own naming, only there. The folder
    // is opened without following a link and only when it is this user's
    // real folder, and every name is removed relative to it: nothing outside
    // the cloud folder is ever touched through it.
    void removeLeftoverDownloads(const std::string& root, Platform::OwnChangeRegistry* ownChanges)
    {
        const auto folder = root + "/" + std::string(FileSystemFileStore::stagingFolderName);
        const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (descriptor < 0)
            return;
        struct stat folderStatus {};
        if (::fstat(descriptor, &folderStatus) != 0 || folderStatus.st_uid != ::geteuid()) {
            ::close(descriptor);
            return;
        }
        DIR* directory = ::fdopendir(descriptor);
        if (!directory) {
            ::close(descriptor);
            return;
        }
        std::vector<std::string> leftovers;
        while (const dirent* entry = ::readdir(directory))
            if (FileSystemFileStore::isStagedDownloadName(entry->d_name))
                leftovers.emplace_back(entry->d_name);
        for (const auto& name : leftovers) {
            struct stat status {};
            if (::fstatat(descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode))
                continue;
            std::optional<Platform::OwnChangeRegistry::Registration> registration;
            if (ownChanges)
                registration = ownChanges->registerChange(folder + "/" + name, Platform::OwnChangeRegistry::Scope::item);
            static_cast<void>(::unlinkat(descriptor, name.c_str(), 0));
        }
        ::closedir(directory);
    }

    // Whether the scan lists the entry; logs the reason when it does not.
    bool isListed(const DirectoryEntry& entry)
    {
        if (!entry.hasValidName) {
            Platform::Log::line("❗️ Skipping an item whose name is not valid UTF-8: "
                + Platform::percentEncoded(entry.relativePath, "/"));
            return false;
        }
        if (entry.status.isSymbolicLink()) {
            Platform::Log::line("Skipping a symbolic link: " + entry.relativePath);
            return false;
        }
        if (!entry.status.isDirectory() && !entry.status.isRegularFile()) {
            Platform::Log::line("Skipping an item that is neither a file nor a folder: " + entry.relativePath);
            return false;
        }
        return !FileSystemFileStore::isIgnoredName(entry.name);
    }

    using HashResult = std::expected<std::string, Platform::FileSystemError>;

    // Files that must be read are hashed on this many threads at most: reads
    // of small files wait on the disk more than on the processor.
    constexpr unsigned maximumHashingThreads = 8;
    // Below this many files to read, threads cost more than they save.
    constexpr std::size_t filesPerHashingThread = 16;

    // A listed file whose hash the cache did not remember.
    struct PendingHash {
        std::size_t item = 0;
        std::string path;
        Platform::ItemStat status;
        HashResult hash;
    };

    // Hashes every pending file on a bounded pool of threads; stops early when `lifetime` ends.
    void hashInParallel(std::vector<PendingHash>& pending, ContentHashCache& cache, std::uint64_t generation,
        const Reactive::Lifetime& lifetime)
    {
        const unsigned threads = static_cast<unsigned>(std::min<std::size_t>(
            { maximumHashingThreads, std::max(1u, std::thread::hardware_concurrency()),
                pending.size() / filesPerHashingThread }));
        std::atomic<std::size_t> next { 0 };
        auto work = [&] {
            for (std::size_t index; (index = next.fetch_add(1)) < pending.size();) {
                if (lifetime.hasEnded())
                    return;
                auto& file = pending[index];
                file.hash = cache.hash(file.path, file.status, generation);
            }
        };
        if (threads < 2) {
            work();
            return;
        }
        std::vector<std::jthread> pool;
        pool.reserve(threads - 1);
        for (unsigned thread = 1; thread < threads; ++thread)
            pool.emplace_back(work);
        work();
    }

    // The file for one listed entry, its hash still empty.
    std::shared_ptr<FileWrapperItem> makeItem(DirectoryEntry&& entry)
    {
        bool isDirectory = entry.status.isDirectory();
        auto type = isDirectory ? FileType::folder()
                                : FileType::file(Platform::MimeTypeDatabase::shared().mimeType(entry.name));
        auto modified = Platform::Date::fromNanosecondsSince1970(
            entry.status.modificationTime.time_since_epoch().count());
        return std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
            .syncFileID = SyncFileID(),
            .path = std::move(entry.relativePath),
            .fileName = std::move(entry.name),
            .syncParentID = SyncFileID(),
            .lastModifiedDate = modified,
            .type = std::move(type),
        });
    }

} // namespace

bool FileSystemFileStore::isIgnoredName(std::string_view name)
{
    return std::ranges::find(ignoredNames, name) != ignoredNames.end();
}

const std::string* FileSystemFileStore::Scan::unreadableAbove(std::string_view path) const
{
    if (unreadable.empty())
        return nullptr;
    const auto item = Platform::precomposed(withoutTrailingSlash(path));
    // "" (the whole cloud folder) needs no case of its own: the run ends at
    // it before it asks, and every relative path begins with "/".
    for (const auto& folder : unreadable) {
        const auto key = Platform::precomposed(folder);
        if (item == key || (item.starts_with(key) && item.size() > key.size() && item[key.size()] == '/'))
            return &folder;
    }
    return nullptr;
}

void FileSystemFileStore::scan(const State& state, const Reactive::Observer<Scan, Reactive::NoError>& observer,
    const Reactive::Lifetime& lifetime)
{
    Files files;
    std::vector<Platform::ChangeStamp> stamps;
    std::vector<std::string> unreadable;
    auto root = scanRoot(state.configuration->folderURL().value());
    auto identity = root ? folderIdentity(*root) : std::nullopt;
    if (!root || !identity || ::access(root->c_str(), R_OK | X_OK) != 0) {
        if (root)
            Platform::Log::line("❗️ The cloud folder cannot be read: " + *root);
        unreadable.emplace_back();
    } else {
        std::string listedFolder;
        auto enumerator = Platform::DirectoryEnumerator::open(*root,
            [&unreadable, &listedFolder](const Platform::EnumerationError& error) {
                noteEnumerationError(error, unreadable, listedFolder);
            });
        if (!enumerator) {
            FileManager::logEnumerationError({ *root, "", enumerator.error() });
            unreadable.emplace_back();
        } else {
            auto& cache = *state.hashCache;
            auto generation = cache.beginScan();
            // The walk first, answering what the cache remembers; then the
            // files to read, in parallel. Items keep the walk's order.
            std::vector<PendingHash> pending;
            removeLeftoverDownloads(*root, state.ownChanges.get());
            while (auto entry = enumerator->next()) {
                if (lifetime.hasEnded())
                    return;
                if (FileSystemFileStore::isStagingName(entry->name)) {
                    if (entry->status.isDirectory())
                        enumerator->skipDescendants();
                    continue;
                }
                if (!isListed(*entry))
                    continue;
                std::optional<std::string> remembered;
                const bool isFile = !entry->status.isDirectory();
                if (isFile) {
                    listedFolder.clear();
                } else {
                    listedFolder = entry->relativePath;
                    // The walk enters the folder with its next step: a
                    // moment at which it may vanish under the walk.
                    Platform::killPoint("scan-folder-listed");
                }
                if (isFile && !(remembered = cache.rememberedHash(entry->status, generation)))
                    pending.push_back({ files.size(), entry->path, entry->status, {} });
                stamps.push_back(Platform::ChangeStamp::from(entry->status));
                auto item = makeItem(std::move(*entry));
                if (remembered)
                    item->setFileHash(std::move(*remembered));
                files.push_back(std::move(item));
            }
            // The files to read are known, none read yet: a moment at which
            // one of them may vanish before its hash is taken.
            Platform::killPoint("scan-files-listed");
            hashInParallel(pending, cache, generation, lifetime);
            if (lifetime.hasEnded())
                return;
            std::vector<bool> vanished(files.size(), false);
            for (auto& file : pending) {
                auto* item = static_cast<FileWrapperItem*>(files[file.item].get());
                if (file.hash) {
                    item->setFileHash(std::move(*file.hash));
                } else if (file.hash.error().code == FileSystemErrorCode::notFound) {
                    Platform::Log::line(vanishedItemLine);
                    vanished[file.item] = true;
                }
            }
            if (std::ranges::find(vanished, true) != vanished.end()) {
                std::size_t index = 0;
                std::erase_if(files, [&](const FileRef&) { return vanished[index++]; });
                index = 0;
                std::erase_if(stamps, [&](const Platform::ChangeStamp&) { return vanished[index++]; });
            }
            cache.endScan(generation);
            // A folder that vanished or was swapped while the walk ran says
            // nothing about what the cloud folder holds.
            if (folderIdentity(*root) != identity && std::ranges::find(unreadable, std::string()) == unreadable.end()) {
                Platform::Log::line("❗️ The cloud folder vanished or was replaced during the scan: " + *root);
                unreadable.emplace_back();
            }
        }
    }
    if (lifetime.hasEnded())
        return;
    observer.send(Scan { std::move(files), std::move(stamps), std::move(unreadable) });
    observer.sendCompleted();
}

} // namespace Sync
