// The scan of the cloud folder into files: one walk of the tree, hashing
// what changed since the last scan.

#include "Sync/Disk/FileManager.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"

#include "Platform/FileSystem/DirectoryEnumerator.hpp"
#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/MimeTypeDatabase.hpp"
#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

namespace Sync {

namespace {

    using Platform::DirectoryEntry;
    using Platform::FileSystemErrorCode;

    constexpr std::string_view vanishedItemLine = "Cannot read date from file!";

    void logEnumerationError(const Platform::EnumerationError& error)
    {
        if (error.error.code == FileSystemErrorCode::notFound)
            Platform::Log::line(vanishedItemLine);
        else
            FileManager::logEnumerationError(error);
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

    // Whether the scan lists the entry; logs the reason when it does not.
    bool isListed(const DirectoryEntry& entry, Platform::OwnChangeRegistry* ownChanges)
    {
        if (entry.status.isRegularFile() && FileSystemFileStore::isStagedDownloadName(entry.name)) {
            // Never a user file: what a download left when its process ended.
            std::optional<Platform::OwnChangeRegistry::Registration> registration;
            if (ownChanges)
                registration = ownChanges->registerChange(entry.path, Platform::OwnChangeRegistry::Scope::item);
            static_cast<void>(Platform::removeItem(entry.path));
            return false;
        }
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
        Platform::FileStatus status;
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

void FileSystemFileStore::scan(const State& state, const Reactive::Observer<Scan, Reactive::NoError>& observer,
    const Reactive::Lifetime& lifetime)
{
    Files files;
    std::vector<Platform::ChangeStamp> stamps;
    if (auto root = scanRoot(state.configuration->folderURL().value())) {
        auto enumerator = Platform::DirectoryEnumerator::open(*root, &logEnumerationError);
        if (!enumerator) {
            FileManager::logEnumerationError({ *root, "", enumerator.error() });
        } else {
            auto& cache = *state.hashCache;
            auto generation = cache.beginScan();
            // The walk first, answering what the cache remembers; then the
            // files to read, in parallel. Items keep the walk's order.
            std::vector<PendingHash> pending;
            while (auto entry = enumerator->next()) {
                if (lifetime.hasEnded())
                    return;
                if (!isListed(*entry, state.ownChanges.get()))
                    continue;
                std::optional<std::string> remembered;
                const bool isFile = !entry->status.isDirectory();
                if (isFile && !(remembered = cache.rememberedHash(entry->status, generation)))
                    pending.push_back({ files.size(), entry->path, entry->status, {} });
                stamps.push_back(Platform::ChangeStamp::from(entry->status));
                auto item = makeItem(std::move(*entry));
                if (remembered)
                    item->setFileHash(std::move(*remembered));
                files.push_back(std::move(item));
            }
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
        }
    }
    if (lifetime.hasEnded())
        return;
    observer.send(Scan { std::move(files), std::move(stamps) });
    observer.sendCompleted();
}

} // namespace Sync
