#include "Glimmerd/FinderSyncHost/GlimmerSocketPath.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace FinderSyncHost {

namespace {

// The user's home: $HOME when it is an absolute path, else the one the user database names.
std::optional<std::filesystem::path> homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::filesystem::path(home);
    std::vector<char> buffer(16384);
    passwd entry { };
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir
        && found->pw_dir[0] == '/')
        return std::filesystem::path(found->pw_dir);
    return std::nullopt;
}

} // namespace

std::filesystem::path glimmerSocketPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::filesystem::path(runtime) / "orvella" / "glimmerd.sock";
    // Any user may make a folder in /tmp, and one who makes this user's first
    // keeps the extension from listening: the home is this user's alone.
    if (auto home = homeFolder())
        return *home / ".cache" / "orvella" / "glimmerd.sock";
    return std::filesystem::path("/tmp") / ("orvella-" + std::to_string(getuid())) / "glimmerd.sock";
}

namespace {

// The directory's status when it is a real directory of this user; a German text otherwise.
std::expected<struct stat, std::string> ownDirectory(const std::filesystem::path& directory)
{
    struct stat status { };
    if (lstat(directory.c_str(), &status) != 0)
        return std::unexpected("Der Ordner " + directory.string() + " ist nicht lesbar: " + std::strerror(errno));
    if (!S_ISDIR(status.st_mode))
        return std::unexpected(directory.string() + " ist kein Ordner.");
    if (status.st_uid != getuid())
        return std::unexpected("Der Ordner " + directory.string() + " gehört einem anderen Benutzer.");
    return status;
}

} // namespace

std::expected<void, std::string> prepareSocketDirectory(const std::filesystem::path& socketPath)
{
    auto directory = socketPath.parent_path();
    // Below the home the folder that holds it ("~/.cache") may be missing yet.
    std::error_code ignored;
    std::filesystem::create_directories(directory.parent_path(), ignored);
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return std::unexpected("Der Ordner " + directory.string() + " kann nicht angelegt werden: "
            + std::strerror(errno));
    auto status = ownDirectory(directory);
    if (!status)
        return std::unexpected(status.error());
    if ((status->st_mode & 0777) != 0700 && chmod(directory.c_str(), 0700) != 0)
        return std::unexpected("Die Rechte des Ordners " + directory.string() + " lassen sich nicht setzen: "
            + std::strerror(errno));
    return {};
}

std::expected<void, std::string> checkSocketDirectory(const std::filesystem::path& socketPath)
{
    auto directory = socketPath.parent_path();
    auto status = ownDirectory(directory);
    if (!status)
        return std::unexpected(status.error());
    if ((status->st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return std::unexpected("Andere Benutzer dürfen in den Ordner " + directory.string() + " schreiben.");
    return {};
}

std::expected<void, std::string> checkSocketPeer(int descriptor)
{
    struct ucred credentials { };
    socklen_t length = sizeof(credentials);
    if (getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::unexpected(std::string("Der Gegenüber des Sockets ist unbekannt: ") + std::strerror(errno));
    if (credentials.uid != getuid())
        return std::unexpected("Der Socket wird vom Benutzer " + std::to_string(credentials.uid)
            + " bedient, nicht von diesem.");
    return {};
}

} // namespace FinderSyncHost
