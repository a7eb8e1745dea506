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
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

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

    // Where a downloaded file or a kept copy goes: never a folder, never the
    // cloud folder itself.
    std::expected<Place, FileSystemError> filePlaceOf(const File& file, const Platform::URL& folder)
    {
        auto place = placeOf(file, folder);
        if (place && (place->isCloudFolder || isFolder(file)))
            return std::unexpected(FileSystemError::make(FileSystemErrorCode::invalidPath, file.path()));
        return place;
    }

    std::unexpected<DiskOperationError> placementFailure(const File& file, const Platform::URL& folder,
        FileSystemError cause)
    {
        auto location = locationOf(file, folder);
        Platform::Log::line("❗️file couldn't be placed: " + location);
        return std::unexpected(DiskOperationError { DiskOperation::placeDownload, std::move(location), std::move(cause) });
    }

    std::string stagedPathIn(const std::string& staging)
    {
        return staging + "/" + std::string(FileSystemFileStore::stagedDownloadPrefix) + Platform::UUID().uuidString();
    }

    // The first name "<name> (n)" free beside `path`, for an item moved aside.
    std::string freeNameBeside(const std::string& path)
    {
        for (int number = 1;; ++number) {
            auto candidate = path + " (" + std::to_string(number) + ")";
            struct stat status {};
            if (::lstat(candidate.c_str(), &status) != 0 && errno == ENOENT)
                return candidate;
        }
    }

    // Whether `status` is a folder the engine may use as its own: a real
    // folder (lstat: never a link's target) of this process's user.
    bool isOwnFolder(const struct stat& status)
    {
        return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
    }

} // namespace

FileSystemFileStore::FileSystemFileStore(std::shared_ptr<const FileSystemFileStoreConfiguration> configuration,
    std::shared_ptr<Platform::OwnChangeRegistry> ownChanges, std::shared_ptr<ContentHashCache> hashCache,
    std::shared_ptr<const Platform::DiskSync> diskSync)
    : m_state(std::make_shared<const State>(std::move(configuration), std::move(ownChanges),
          hashCache ? std::move(hashCache) : ContentHashCache::create(),
          diskSync ? std::move(diskSync) : Platform::DiskSync::system()))
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

DiskOperationResult FileSystemFileStore::createFolder(const File& file, const PlacementBinder* binder) const
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
    std::vector<Platform::OwnChangeRegistry::Registration> registrations;
    auto made = makeFolders(place->path, registrations);
    if (!made)
        return fail(made.error());
    // What already lies there counts only when it is a folder: a file of the
    // user's in its place is neither replaced nor taken for the folder.
    auto status = Platform::ItemStat::of(place->path);
    if (!status || !status->isDirectory())
        return fail(FileSystemError::make(FileSystemErrorCode::notADirectory, place->path));
    // The date of a folder made here and the binding are synced with it,
    // before its record: a folder recorded but unbound after a power cut
    // would be met as a stranger (the user's new folder).
    if (*made)
        if (auto dated = Platform::setModificationTime(place->path, fileTime(file.lastModifiedDate())); !dated)
            return fail(dated.error());
    const bool bound = binder && binder->bind(file, place->path);
    if (!*made && !bound)
        return {};
    if (auto synced = m_state->diskSync->syncFolder(place->path); !synced)
        return fail(synced.error());
    if (bound)
        binder->placed(file, place->path);
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
        // Its name in the Trash is durable before its name here goes: a cut
        // in between leaves it in both places, never in neither.
        else if (auto synced = syncFolderOf(trashed->trashedPath); !synced)
            return fail(synced.error());
    } else {
        removed = Platform::removeItem(place->path);
    }
    if (!removed) {
        // The item counts as gone only when its own path names nothing, also below
        // something that is no folder (now a file of the same name); the same codes
        // from elsewhere (a Trash that cannot be made) are failures.
        struct stat status {};
        if (::lstat(place->path.c_str(), &status) == 0 || (errno != ENOENT && errno != ENOTDIR))
            return fail(removed.error());
    }
    // Gone for good before the caller records it so: a removal the power
    // takes back would bring the item back unrecorded, and it would go up
    // again as the user's new file. Also when an earlier run removed it and
    // ended before its folder was synced.
    if (auto synced = syncFolderOf(place->path); !synced)
        return fail(synced.error());
    return {};
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
    // The new name is durable, then the old one's removal, before the caller
    // records the move: a move the power takes back would read as the user's
    // move back (or, in another folder, a copy). Destination first, so that
    // a cut in between leaves the item under both names, never under none.
    if (auto synced = syncFolderOf(destination->path); !synced)
        return fail(synced.error());
    if (Platform::deletingLastPathComponent(source->path) != Platform::deletingLastPathComponent(destination->path))
        if (auto synced = syncFolderOf(source->path); !synced)
            return fail(synced.error());
    return {};
}

std::expected<void, FileSystemError> FileSystemFileStore::syncFolderOf(const std::string& path) const
{
    auto synced = m_state->diskSync->syncFolder(Platform::deletingLastPathComponent(path));
    // A folder that is gone, or is now a file, holds no entry to make durable
    // (its own removal or replacement is its parent's).
    if (!synced
        && (synced.error().code == FileSystemErrorCode::notFound
            || synced.error().code == FileSystemErrorCode::notADirectory))
        return {};
    return synced;
}

std::expected<bool, FileSystemError> FileSystemFileStore::makeFolders(const std::string& path,
    std::vector<Platform::OwnChangeRegistry::Registration>& registrations) const
{
    std::lock_guard making(m_state->folderMaking);
    std::vector<std::string> missing;
    for (auto folder = path; folder.size() > 1 && !exists(folder); folder = Platform::deletingLastPathComponent(folder))
        missing.push_back(folder);
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
        registrations.push_back(registerChange(*folder, Scope::item));
        auto made = Platform::createDirectory(*folder, Platform::CreateIntermediates::No);
        if (!made && made.error().code != FileSystemErrorCode::alreadyExists)
            return std::unexpected(made.error());
        // Its name in its parent is durable before anything goes into it.
        if (auto synced = m_state->diskSync->syncFolder(Platform::deletingLastPathComponent(*folder)); !synced)
            return std::unexpected(synced.error());
    }
    return !missing.empty() && missing.front() == path;
}

std::expected<std::string, FileSystemError> FileSystemFileStore::stagingFolder(const Platform::URL& cloudFolder) const
{
    if (!cloudFolder.isFileURL())
        return std::unexpected(FileSystemError::make(FileSystemErrorCode::invalidPath, cloudFolder.absoluteString()));
    auto root = Platform::PathResolver(cloudFolder.path()).canonicalFolder();
    if (!root)
        return std::unexpected(root.error());
    auto path = *root + "/" + std::string(stagingFolderName);
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0) {
        if (isOwnFolder(status)) {
            // Only its owner may list the downloads in progress.
            if ((status.st_mode & 07777) != 0700 && ::chmod(path.c_str(), 0700) != 0)
                return std::unexpected(FileSystemError::fromErrno(errno, path));
            return path;
        }
        // The user's item (or one a server or another user planted): never
        // followed, never deleted, only moved out of the engine's way.
        auto aside = freeNameBeside(path);
        auto asideRegistration = registerChange(aside, Scope::item);
        auto registration = registerChange(path, Scope::item);
        if (auto moved = Platform::moveItem(path, aside); !moved)
            return std::unexpected(moved.error());
        Platform::Log::failure("An item of the user's had the staging folder's name " + std::string(stagingFolderName)
            + "; it was moved to " + aside + " and a staging folder made in its place");
    } else if (errno != ENOENT) {
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    }
    auto registration = registerChange(path, Scope::subtree);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    // Made by another thread meanwhile, or by someone else: used only when it is ours.
    if (::lstat(path.c_str(), &status) != 0)
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    if (!isOwnFolder(status))
        return std::unexpected(FileSystemError::make(FileSystemErrorCode::notADirectory, path));
    // The umask may have taken bits of 0700.
    if ((status.st_mode & 07777) != 0700 && ::chmod(path.c_str(), 0700) != 0)
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    if (auto synced = m_state->diskSync->syncFolder(*root); !synced)
        return std::unexpected(synced.error());
    return path;
}

std::expected<std::string, DiskOperationError> FileSystemFileStore::placeDownload(DownloadedFile downloaded,
    const File& file, const Platform::URL& folder, Platform::ReplaceExisting replace,
    const PlacementBinder* binder) const
{
    auto fail = [&](FileSystemError cause) -> std::expected<std::string, DiskOperationError> {
        return placementFailure(file, folder, std::move(cause));
    };
    auto place = filePlaceOf(file, folder);
    if (!place)
        return fail(place.error());

    std::vector<Platform::OwnChangeRegistry::Registration> registrations;
    if (auto made = makeFolders(Platform::deletingLastPathComponent(place->path), registrations); !made)
        return fail(made.error());
    auto staging = stagingFolder(folder);
    if (!staging)
        return fail(staging.error());
    auto stagedPath = stagedPathIn(*staging);
    registrations.push_back(registerChange(stagedPath, Scope::item));
    // On the cloud folder's file system from here on (copied when the
    // transport's folder is elsewhere; a killed run's copy is removed by the
    // next scan like any staged download).
    if (auto staged = Platform::placeFile(downloaded.path(), stagedPath, Platform::ReplaceExisting::No); !staged)
        return fail(staged.error());
    downloaded.release();
    DownloadedFile staged(stagedPath);
    // The transport keeps its file private (0600) while it is in a shared
    // temporary folder; in the cloud folder it is the user's like any file
    // the user makes. Mode and date are set before the file is synced.
    if (::chmod(stagedPath.c_str(), static_cast<mode_t>(Platform::newFileMode())) != 0)
        return fail(FileSystemError::fromErrno(errno, stagedPath));
    if (auto dated = Platform::setModificationTime(stagedPath, fileTime(file.lastModifiedDate())); !dated)
        return fail(dated.error());
    // The binding too, so that the file takes its name bound: written after
    // the placement, a power cut could take it back from a file whose
    // record the next run finds.
    const bool bound = binder && binder->bind(file, stagedPath);
    struct stat stagedStatus {};
    if (bound && ::lstat(stagedPath.c_str(), &stagedStatus) != 0)
        return fail(FileSystemError::fromErrno(errno, stagedPath));
    registrations.push_back(registerChange(place->path, Scope::item));
    if (auto placed = Platform::placeFile(stagedPath, place->path, replace, m_state->diskSync.get()); !placed)
        return fail(placed.error());
    staged.release();
    if (bound) {
        struct stat placedStatus {};
        if (::lstat(place->path.c_str(), &placedStatus) == 0 && placedStatus.st_dev == stagedStatus.st_dev
            && placedStatus.st_ino == stagedStatus.st_ino) {
            binder->placed(file, place->path);
        } else if (auto rebound = bindInPlace(file, folder, *binder); !rebound) {
            // Copied onto another file system below the cloud folder: the
            // copy carries none of the staged file's attributes.
            return std::unexpected(rebound.error());
        }
    }
    // Learnt here, where the path is at hand, so that the next scan does not read the file again.
    m_state->hashCache->learn(place->path, file.fileHash(), fileTime(file.lastModifiedDate()));
    return place->path;
}

DiskOperationResult FileSystemFileStore::bindInPlace(const File& file, const Platform::URL& folder,
    const PlacementBinder& binder) const
{
    auto fail = [&](FileSystemError cause) -> DiskOperationResult { return placementFailure(file, folder, std::move(cause)); };
    auto place = placeOf(file, folder);
    if (!place)
        return fail(place.error());
    if (place->isCloudFolder)
        return fail(FileSystemError::make(FileSystemErrorCode::invalidPath, file.path()));
    if (!binder.bind(file, place->path))
        return {};
    auto synced = isFolder(file) ? m_state->diskSync->syncFolder(place->path) : m_state->diskSync->syncFile(place->path);
    if (!synced)
        return fail(synced.error());
    binder.placed(file, place->path);
    return {};
}

std::expected<std::string, DiskOperationError> FileSystemFileStore::keepCopy(const File& file,
    const Platform::URL& folder) const
{
    auto fail = [&](FileSystemError cause) -> std::expected<std::string, DiskOperationError> {
        return placementFailure(file, folder, std::move(cause));
    };
    auto place = filePlaceOf(file, folder);
    if (!place)
        return fail(place.error());
    auto staging = stagingFolder(folder);
    if (!staging)
        return fail(staging.error());
    auto copyPath = stagedPathIn(*staging);
    auto registration = registerChange(copyPath, Scope::item);
    // A copy, not the file moved: the file keeps its name (and its binding)
    // until whatever replaces it is in place.
    std::error_code copyError;
    std::filesystem::copy_file(place->path, copyPath, std::filesystem::copy_options::none, copyError);
    DownloadedFile copy(copyPath);
    if (copyError)
        return fail(FileSystemError::fromErrno(copyError.value(), place->path));

    const auto& name = file.fileName();
    const auto dot = name.rfind('.');
    const auto stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const auto extension = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    const auto parent = file.path().substr(0, file.path().size() - name.size());
    for (int number = 1; number < 1000; ++number) {
        auto copyName = stem + " (lokale Kopie" + (number == 1 ? std::string() : " " + std::to_string(number)) + ")" + extension;
        auto aside = std::make_shared<FileWrapperItem>(FileWrapperItem::Fields { .path = parent + copyName,
            .fileName = copyName, .lastModifiedDate = file.lastModifiedDate(), .type = file.type() });
        auto asidePlace = placeOf(*aside, folder);
        if (!asidePlace)
            return fail(asidePlace.error());
        if (exists(asidePlace->path))
            continue;
        auto placed = placeDownload(std::move(copy), *aside, folder, Platform::ReplaceExisting::No);
        if (!placed)
            return std::unexpected(placed.error());
        return aside->path();
    }
    return fail(FileSystemError::make(FileSystemErrorCode::alreadyExists, place->path));
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
