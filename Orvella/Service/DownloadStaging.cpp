#include "Orvella/Service/DownloadStaging.hpp"

#include "Orvella/Service/SyncAdapterError.hpp"
#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/PathResolver.hpp"

#include <cerrno>
#include <sys/stat.h>

namespace Orvella {

using Reactive::AnyError;

namespace {

bool existsWithoutFollowing(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// The transport keeps its file private (0600) while it is in a shared
// temporary folder; in the cloud folder it is the user's like any file the
// user makes.
std::expected<void, AnyError> giveNewFileMode(const std::string& staged)
{
    if (::chmod(staged.c_str(), static_cast<mode_t>(Platform::newFileMode())) != 0)
        return std::unexpected(AnyError(Platform::FileSystemError::fromErrno(errno, staged)));
    return {};
}

} // namespace

AnyError refusedPathError(const Sync::File& file)
{
    return AnyError(SyncAdapterError(SyncAdapterError::Case::refusedPath, file.path()));
}

AnyError notAFolderError(const Sync::File& file)
{
    return AnyError(SyncAdapterError(SyncAdapterError::Case::notAFolder, file.path()));
}

std::expected<std::shared_ptr<DownloadStaging>, AnyError> DownloadStaging::prepare(const Sync::File& file,
    const Platform::URL& cloudFolder, std::shared_ptr<const Sync::FileSystemFileStore> diskStore)
{
    if (!Sync::fileURL(file, cloudFolder) || file.path().ends_with('/'))
        return std::unexpected(refusedPathError(file));
    auto destination = Platform::PathResolver(cloudFolder.path()).resolve(file.path());
    if (!destination) {
        if (destination.error().code == Platform::FileSystemErrorCode::invalidPath)
            return std::unexpected(refusedPathError(file));
        return std::unexpected(AnyError(destination.error()));
    }
    return std::make_shared<DownloadStaging>(PassKey {}, std::move(*destination), cloudFolder, std::move(diskStore));
}

DownloadStaging::DownloadStaging(PassKey, std::string destination, Platform::URL cloudFolder,
    std::shared_ptr<const Sync::FileSystemFileStore> diskStore)
    : m_destination(std::move(destination))
    , m_parent(m_destination.substr(0, m_destination.rfind('/')))
    , m_cloudFolder(std::move(cloudFolder))
    , m_diskStore(std::move(diskStore))
    , m_ownChanges(m_diskStore->ownChanges())
{
}

std::string DownloadStaging::stagedPath() const
{
    std::lock_guard lock(m_mutex);
    return m_stagedPath;
}

DownloadStaging::~DownloadStaging()
{
    discard();
}

void DownloadStaging::registerChange(const std::string& path)
{
    if (!m_ownChanges)
        return;
    auto registration = m_ownChanges->registerChange(path, Platform::OwnChangeRegistry::Scope::item);
    std::lock_guard lock(m_mutex);
    m_registrations.push_back(std::move(registration));
}

std::expected<void, AnyError> DownloadStaging::makeParentFolders()
{
    // Every folder made here causes events of its own: each is registered first.
    std::vector<std::string> missing;
    for (auto folder = m_parent; !folder.empty() && !existsWithoutFollowing(folder); folder = folder.substr(0, folder.rfind('/')))
        missing.push_back(folder);
    for (const auto& folder : missing)
        registerChange(folder);
    if (missing.empty())
        return {};
    auto made = Platform::createDirectory(m_parent, Platform::CreateIntermediates::Yes);
    if (!made && made.error().code != Platform::FileSystemErrorCode::alreadyExists)
        return std::unexpected(AnyError(made.error()));
    return {};
}

std::expected<void, AnyError> DownloadStaging::stage(const std::string& downloaded)
{
    // In the engine's own staging folder: no user or server item can be there.
    auto path = m_diskStore->stagedDownloadPath(m_cloudFolder);
    if (!path)
        return std::unexpected(AnyError(path.error()));
    {
        std::lock_guard lock(m_mutex);
        m_stagedPath = std::move(*path);
    }
    auto staged = stagedPath();
    registerChange(staged);
    // From another file system through a copy beside the staged name, which
    // begins with the staged-download prefix as well: a killed run's copy is
    // removed by the next scan like any staged download.
    auto placed = Platform::placeFile(downloaded, staged, Platform::ReplaceExisting::No);
    if (!placed)
        return std::unexpected(AnyError(placed.error()));
    return giveNewFileMode(staged);
}

Reactive::Result<Platform::URL, AnyError> DownloadStaging::place(const Platform::URL& downloaded, Platform::Date modified,
    Sync::ReplaceExisting replace)
{
    {
        std::lock_guard lock(m_mutex);
        m_downloaded = downloaded.path();
    }
    if (auto made = makeParentFolders(); !made) {
        discard();
        return std::unexpected(made.error());
    }
    if (auto staged = stage(downloaded.path()); !staged) {
        discard();
        return std::unexpected(staged.error());
    }
    {
        // The transport's name is free again and may be taken by another download.
        std::lock_guard lock(m_mutex);
        m_downloaded.clear();
    }
    auto source = stagedPath();
    auto placed = moveOntoTarget(source, replace);
    if (!placed) {
        // The staged copy is of no use to anyone once it cannot be placed.
        static_cast<void>(Platform::removeItem(source));
        return std::unexpected(placed.error());
    }
    auto dated = Platform::setModificationTime(m_destination,
        Platform::FileTime(std::chrono::nanoseconds(modified.nanosecondsSince1970())));
    if (!dated)
        return std::unexpected(AnyError(dated.error()));
    return Platform::URL::fileURL(m_destination);
}

std::expected<void, AnyError> DownloadStaging::moveOntoTarget(const std::string& source, Sync::ReplaceExisting replace)
{
    registerChange(m_destination);
    // The staged file is on the target's file system: one rename, which
    // replaces a file in one step and never a folder, and never a copy that
    // a scan could meet half written.
    auto placed = Platform::renameFile(source, m_destination, replace);
    if (!placed)
        return std::unexpected(AnyError(placed.error()));
    return {};
}

void DownloadStaging::discard()
{
    std::string downloaded;
    {
        std::lock_guard lock(m_mutex);
        downloaded = std::exchange(m_downloaded, {});
    }
    for (const auto& path : { stagedPath(), downloaded }) {
        if (!path.empty() && existsWithoutFollowing(path))
            static_cast<void>(Platform::removeItem(path));
    }
}

} // namespace Orvella
