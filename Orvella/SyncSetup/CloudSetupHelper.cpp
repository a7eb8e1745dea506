#include "Orvella/SyncSetup/CloudSetupHelper.hpp"

#include "Orvella/SyncSetup/FinderSidebarItem.hpp"
#include "Platform/Foundation/Log.hpp"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace Orvella {

std::string CloudSetupHelper::SetupError::description() const
{
    if (kind == Kind::folderWasMissing)
        return "Der Cloud-Ordner " + path + " fehlte und wurde neu angelegt.";
    if (kind == Kind::unreadable)
        return "Der Cloud-Ordner " + path + " kann nicht gelesen werden: " + reason.message();
    return "Der Cloud-Ordner " + path + " kann nicht angelegt werden: " + reason.message();
}

CloudSetupHelper::CloudSetupHelper(Reactive::Property<Platform::URL> cloudFolder, std::shared_ptr<Reactive::MutableProperty<bool>> syncEnabled,
    std::shared_ptr<Sync::FileStore> fileStore, std::string defaultName)
    : m_cloudFolder(std::move(cloudFolder))
    , m_syncEnabled(std::move(syncEnabled))
    , m_fileStore(std::move(fileStore))
    , m_defaultName(std::move(defaultName))
{
}

std::expected<void, Reactive::AnyError> CloudSetupHelper::prepareCloudFolder()
{
    auto folder = m_cloudFolder.value();
    auto path = folder.path();
    if (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    struct stat status {};
    // Reachable means the folder itself can be reached, through any link,
    // and listed and entered: one that cannot be read would scan as empty.
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode) && ::access(path.c_str(), R_OK | X_OK) == 0)
            return {};
        return std::unexpected(Reactive::AnyError(SetupError { SetupError::Kind::unreadable, path,
            std::error_code(S_ISDIR(status.st_mode) ? errno : ENOTDIR, std::generic_category()) }));
    }
    // Behind a folder that cannot be entered: still there, only out of reach.
    if (errno == EACCES)
        return std::unexpected(Reactive::AnyError(SetupError { SetupError::Kind::unreadable, path,
            std::error_code(EACCES, std::generic_category()) }));
    m_fileStore->clean();
    // Something is there (a dangling link, a folder behind a missing
    // permission): it is the user's, and the run goes on without touching it.
    if (::lstat(path.c_str(), &status) == 0)
        return {};
    Platform::Log::line("cloud folder doesn't exist at path: " + path);
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error)
        return std::unexpected(Reactive::AnyError(SetupError { SetupError::Kind::creationFailed, path, error }));
    (void)FinderSidebarItem::adding(folder);
    return std::unexpected(Reactive::AnyError(SetupError { SetupError::Kind::folderWasMissing, path, {} }));
}

} // namespace Orvella
