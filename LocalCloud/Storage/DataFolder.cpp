#include "LocalCloud/Storage/DataFolder.hpp"

#include "LocalCloud/Storage/ServiceDatabase.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace LocalCloud {

namespace {

constexpr auto privateFolder = std::filesystem::perms::owner_all;
constexpr auto privateFile = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

std::expected<void, std::string> makePrivate(const std::filesystem::path& path, std::filesystem::file_status status)
{
    std::filesystem::perms wanted;
    if (status.type() == std::filesystem::file_type::directory)
        wanted = privateFolder;
    else if (status.type() == std::filesystem::file_type::regular)
        wanted = privateFile;
    else
        return {};
    if ((status.permissions() & std::filesystem::perms::mask) == wanted)
        return {};
    std::error_code error;
    std::filesystem::permissions(path, wanted, std::filesystem::perm_options::replace, error);
    // A partial upload may be renamed or removed by the running service meanwhile.
    if (error && error != std::errc::no_such_file_or_directory)
        return std::unexpected("cannot make " + path.string() + " private: " + error.message());
    return {};
}

std::expected<void, std::string> syncFolder(const std::filesystem::path& folder)
{
    int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return std::unexpected("cannot open " + folder.string() + ": " + std::strerror(errno));
    bool synced = ::fsync(descriptor) == 0;
    int error = errno;
    ::close(descriptor);
    if (!synced)
        return std::unexpected("cannot sync " + folder.string() + ": " + std::strerror(error));
    return {};
}

} // namespace

std::expected<void, std::string> syncDataFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::error_code vanished;
        if (entry.is_directory(vanished) && !entry.is_symlink(vanished)) {
            if (auto synced = syncFolder(entry.path()); !synced)
                return synced;
        }
    }
    if (error)
        return std::unexpected("cannot read data folder " + folder.string() + ": " + error.message());
    if (auto synced = syncFolder(folder); !synced)
        return synced;
    auto parent = std::filesystem::absolute(folder, error).parent_path();
    return error ? std::unexpected("cannot find the parent of " + folder.string()) : syncFolder(parent);
}

std::expected<void, std::string> makeDataFolderPrivate(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return std::unexpected("cannot create data folder " + folder.string() + ": " + error.message());
    auto status = std::filesystem::symlink_status(folder, error);
    if (error)
        return std::unexpected("cannot read data folder " + folder.string() + ": " + error.message());
    if (auto made = makePrivate(folder, status); !made)
        return made;
    auto database = serviceDatabaseFile(folder);
    int descriptor = ::open(database.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor >= 0)
        ::close(descriptor);
    for (std::filesystem::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code vanished;
        auto entryStatus = entry->symlink_status(vanished);
        if (vanished)
            continue;
        if (auto made = makePrivate(entry->path(), entryStatus); !made)
            return made;
    }
    if (error)
        return std::unexpected("cannot read data folder " + folder.string() + ": " + error.message());
    return {};
}

} // namespace LocalCloud
