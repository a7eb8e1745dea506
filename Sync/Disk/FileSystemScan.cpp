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
#include <optional>

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

    // The file for one listed entry; nothing when it vanished meanwhile.
    std::shared_ptr<FileWrapperItem> makeItem(DirectoryEntry&& entry, ContentHashCache& cache,
        std::uint64_t generation)
    {
        bool isDirectory = entry.status.isDirectory();
        std::string hash;
        if (!isDirectory) {
            auto hashed = cache.hash(entry.path, entry.status, generation);
            if (hashed) {
                hash = std::move(*hashed);
            } else if (hashed.error().code == FileSystemErrorCode::notFound) {
                Platform::Log::line(vanishedItemLine);
                return nullptr;
            }
        }
        auto type = isDirectory ? FileType::folder()
                                : FileType::file(Platform::MimeTypeDatabase::shared().mimeType(entry.name));
        auto modified = Platform::Date::fromNanosecondsSince1970(
            entry.status.modificationTime.time_since_epoch().count());
        return std::make_shared<FileWrapperItem>(SyncFileID(), std::move(entry.relativePath), std::move(entry.name),
            SyncFileID(), false,
            nullptr, false, FileWrapperItem::PrivateShares {}, modified, std::nullopt, std::move(type),
            std::move(hash));
    }

} // namespace

bool FileSystemFileStore::isIgnoredName(std::string_view name)
{
    return std::ranges::find(ignoredNames, name) != ignoredNames.end();
}

void FileSystemFileStore::scan(const State& state, const Reactive::Observer<Files, Reactive::NoError>& observer,
    const Reactive::Lifetime& lifetime)
{
    Files files;
    if (auto root = scanRoot(state.configuration->folderURL().value())) {
        auto enumerator = Platform::DirectoryEnumerator::open(*root, &logEnumerationError);
        if (!enumerator) {
            FileManager::logEnumerationError({ *root, "", enumerator.error() });
        } else {
            auto& cache = *state.hashCache;
            auto generation = cache.beginScan();
            while (auto entry = enumerator->next()) {
                if (lifetime.hasEnded())
                    return;
                if (!isListed(*entry, state.ownChanges.get()))
                    continue;
                if (auto item = makeItem(std::move(*entry), cache, generation))
                    files.push_back(std::move(item));
            }
            cache.endScan(generation);
        }
    }
    if (lifetime.hasEnded())
        return;
    observer.send(std::move(files));
    observer.sendCompleted();
}

} // namespace Sync
