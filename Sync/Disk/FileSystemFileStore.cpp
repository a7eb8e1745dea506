#include "Sync/Disk/FileSystemFileStore.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/ItemStat.hpp"
#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/FileSystem/Trash.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/PathString.hpp"
#include "Platform/Foundation/UUID.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <cerrno>
#include <sys/stat.h>

namespace Sync {

namespace {

    using Platform::FileSystemError;
    using Platform::FileSystemErrorCode;
    using Scope = Platform::OwnChangeRegistry::Scope;

    // Where an item lies on disk, and how it is named in log lines.
    struct Place {
        std::string path;
        bool isCloudFolder = false;
    };

    // The item's file URL as the logs have always shown it; for a path that
    // is refused, the folder's URL with the path appended as it is.
    std::string locationOf(const File& file, const Platform::URL& folder)
    {
        if (auto url = fileURL(file, folder))
            return url->absoluteString();
        return folder.appendingPathComponent(file.path()).absoluteString();
    }

    std::expected<Place, FileSystemError> placeOf(const File& file, const Platform::URL& folder)
    {
        if (!folder.isFileURL())
            return std::unexpected(FileSystemError::make(FileSystemErrorCode::invalidPath, folder.absoluteString()));
        auto components = Platform::PathResolver::components(file.path());
        if (!components)
            return std::unexpected(components.error());
        auto resolved = Platform::PathResolver(folder.path()).resolve(file.path());
        if (!resolved)
            return std::unexpected(resolved.error());
        return Place { std::move(*resolved), components->empty() };
    }

    Platform::FileTime fileTime(Platform::Date date)
    {
        return Platform::FileTime(std::chrono::nanoseconds(date.nanosecondsSince1970()));
    }

    bool exists(const std::string& path)
    {
        auto status = Platform::ItemStat::of(path);
        return status || status.error().code != FileSystemErrorCode::notFound;
    }

    // The topmost directory that creating `path` with its parents will make:
    // the watcher then takes everything below it as the engine's own doing.
    std::string firstMissingDirectory(const std::string& path)
    {
        std::string missing = path;
        for (auto parent = Platform::deletingLastPathComponent(missing); parent.size() > 1 && !exists(parent);
             parent = Platform::deletingLastPathComponent(parent))
            missing = parent;
        return missing;
    }

    // Whether the item at `path` is the one `file` describes, moved there before.
    bool holdsSameItem(const std::string& path, const File& file, ContentHashCache& cache)
    {
        auto status = Platform::ItemStat::of(path);
        if (!status)
            return false;
        if (isFolder(file))
            return status->isDirectory();
        if (!status->isRegularFile())
            return false;
        const auto& expected = file.fileHash();
        if (expected.empty() || expected == FileWrapperItem::missingFileHashKey)
            return true;
        auto hash = cache.hash(path, *status, 0);
        return hash && *hash == expected;
    }

    DiskOperationResult failure(DiskOperation operation, std::string location, FileSystemError cause)
    {
        return std::unexpected(DiskOperationError { operation, std::move(location), std::move(cause) });
    }

} // namespace

FileSystemFileStore::FileSystemFileStore(std::shared_ptr<const FileSystemFileStoreConfiguration> configuration,
    std::shared_ptr<Platform::OwnChangeRegistry> ownChanges, std::shared_ptr<ContentHashCache> hashCache)
    : m_state(std::make_shared<const State>(State { std::move(configuration), std::move(ownChanges),
          hashCache ? std::move(hashCache) : ContentHashCache::create() }))
    , m_scans([state = m_state](Reactive::Observer<Scan, Reactive::NoError> observer, Reactive::Lifetime lifetime) {
        scan(*state, observer, lifetime);
    })
    , m_files(m_scans.map([](Scan scan) { return std::move(scan.files); }))
{
}

Platform::OwnChangeRegistry::Registration FileSystemFileStore::registerChange(const std::string& path,
    Platform::OwnChangeRegistry::Scope scope) const
{
    if (!m_state->ownChanges)
        return {};
    return m_state->ownChanges->registerChange(path, scope);
}

DiskOperationResult FileSystemFileStore::createFolder(const File& file) const
{
    auto folder = m_state->configuration->folderURL().value();
    auto fail = [&](FileSystemError cause) {
        auto location = locationOf(file, folder);
        Platform::Log::line("❗️directory couldn't be created: " + location);
        return failure(DiskOperation::createFolder, std::move(location), std::move(cause));
    };
    if (!isFolder(file))
        return fail(FileSystemError::make(FileSystemErrorCode::notADirectory, file.path()));
    auto place = placeOf(file, folder);
    if (!place)
        return fail(place.error());

    auto registration = registerChange(firstMissingDirectory(place->path), Scope::subtree);
    auto made = Platform::createDirectory(place->path, Platform::CreateIntermediates::Yes,
        fileTime(file.lastModifiedDate()));
    if (!made && made.error().code != FileSystemErrorCode::alreadyExists)
        return fail(made.error());
    // What already lies there counts only when it is a folder: a file of the
    // user's in its place is neither replaced nor taken for the folder.
    if (!made) {
        auto status = Platform::ItemStat::of(place->path);
        if (!status || !status->isDirectory())
            return fail(FileSystemError::make(FileSystemErrorCode::alreadyExists, place->path));
    }
    return {};
}

DiskOperationResult FileSystemFileStore::deleteItem(const File& file, Removal removal) const
{
    auto folder = m_state->configuration->folderURL().value();
    auto fail = [&](FileSystemError cause) {
        auto location = locationOf(file, folder);
        Platform::Log::line("❗️file couldn't be removed: " + location);
        return failure(DiskOperation::deleteItem, std::move(location), std::move(cause));
    };
    auto place = placeOf(file, folder);
    if (!place)
        return fail(place.error());
    // A path naming the cloud folder itself never deletes it.
    if (place->isCloudFolder)
        return fail(FileSystemError::make(FileSystemErrorCode::invalidPath, file.path()));

    bool movesToTrash = removal == Removal::toTrash || m_state->configuration->movesToTrash().value();
    auto registration = registerChange(place->path, Scope::subtree);
    std::expected<void, FileSystemError> removed;
    if (movesToTrash) {
        auto trashed = Platform::Trash::moveToTrash(place->path);
        if (!trashed)
            removed = std::unexpected(trashed.error());
    } else {
        removed = Platform::removeItem(place->path);
    }
    if (removed)
        return {};
    // The item counts as gone only when its own path names nothing, also below
    // something that is no folder (now a file of the same name); the same codes
    // from elsewhere (a Trash that cannot be made) are failures.
    struct stat status {};
    if (::lstat(place->path.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return {};
    return fail(removed.error());
}

DiskOperationResult FileSystemFileStore::move(const File& from, const File& to) const
{
    auto folder = m_state->configuration->folderURL().value();
    auto fail = [&](FileSystemError cause) {
        Platform::Log::line("❗️ couldn't move file locally: " + cause.description());
        return failure(DiskOperation::move, locationOf(from, folder), std::move(cause));
    };
    auto source = placeOf(from, folder);
    if (!source)
        return fail(source.error());
    auto destination = placeOf(to, folder);
    if (!destination)
        return fail(destination.error());
    if (source->path == destination->path)
        return {};
    if (source->isCloudFolder || destination->isCloudFolder)
        return fail(FileSystemError::make(FileSystemErrorCode::invalidPath,
            source->isCloudFolder ? from.path() : to.path()));

    auto sourceRegistration = registerChange(source->path, Scope::item);
    auto destinationRegistration = registerChange(destination->path, Scope::item);
    auto moved = Platform::moveItem(source->path, destination->path);
    if (!moved) {
        // A move that happened before (a run repeated after a failure) leaves
        // the source gone and the item already at its destination.
        bool alreadyMoved = moved.error().code == FileSystemErrorCode::notFound && !exists(source->path)
            && holdsSameItem(destination->path, from, *m_state->hashCache);
        if (!alreadyMoved)
            return fail(moved.error());
    }
    return {};
}

std::expected<std::string, FileSystemError> FileSystemFileStore::stagingFolder(const Platform::URL& cloudFolder,
    Platform::OwnChangeRegistry* ownChanges)
{
    if (!cloudFolder.isFileURL())
        return std::unexpected(FileSystemError::make(FileSystemErrorCode::invalidPath, cloudFolder.absoluteString()));
    auto root = Platform::PathResolver(cloudFolder.path()).canonicalFolder();
    if (!root)
        return std::unexpected(root.error());
    auto path = *root + "/" + std::string(stagingFolderName);
    if (auto status = Platform::ItemStat::of(path)) {
        if (status->isDirectory())
            return path;
        return std::unexpected(FileSystemError::make(FileSystemErrorCode::notADirectory, path));
    }
    std::optional<Platform::OwnChangeRegistry::Registration> registration;
    if (ownChanges)
        registration = ownChanges->registerChange(path, Scope::subtree);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    return path;
}

std::expected<std::string, FileSystemError> FileSystemFileStore::stagedDownloadPath(const Platform::URL& cloudFolder) const
{
    auto folder = stagingFolder(cloudFolder, m_state->ownChanges.get());
    if (!folder)
        return std::unexpected(folder.error());
    return *folder + "/" + std::string(stagedDownloadPrefix) + Platform::UUID().uuidString();
}

void FileSystemFileStore::learnPlacedContent(const File& file) const
{
    if (isFolder(file))
        return;
    if (auto place = placeOf(file, m_state->configuration->folderURL().value()))
        m_state->hashCache->learn(place->path, file.fileHash(), fileTime(file.lastModifiedDate()));
}

DiskOperationResult FileSystemFileStore::update(const File& file) const
{
    auto folder = m_state->configuration->folderURL().value();
    auto place = placeOf(file, folder);
    if (!place)
        return failure(DiskOperation::update, locationOf(file, folder), place.error());
    auto registration = registerChange(place->path, Scope::item);
    auto dated = Platform::setModificationTime(place->path, fileTime(file.lastModifiedDate()));
    if (!dated)
        return failure(DiskOperation::update, locationOf(file, folder), dated.error());
    return {};
}

} // namespace Sync
