#include "Glimmerd/FinderSyncHost/GlimmerSocketPath.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace FinderSyncHost {

std::filesystem::path glimmerSocketPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::filesystem::path(runtime) / "orvella" / "glimmerd.sock";
    return std::filesystem::path("/tmp") / ("orvella-" + std::to_string(getuid())) / "glimmerd.sock";
}

std::expected<void, std::string> prepareSocketDirectory(const std::filesystem::path& socketPath)
{
    auto directory = socketPath.parent_path();
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return std::unexpected("Der Ordner " + directory.string() + " kann nicht angelegt werden: "
            + std::strerror(errno));
    struct stat status { };
    if (lstat(directory.c_str(), &status) != 0)
        return std::unexpected("Der Ordner " + directory.string() + " ist nicht lesbar: " + std::strerror(errno));
    if (!S_ISDIR(status.st_mode))
        return std::unexpected(directory.string() + " ist kein Ordner.");
    if (status.st_uid != getuid())
        return std::unexpected("Der Ordner " + directory.string() + " gehört einem anderen Benutzer.");
    if ((status.st_mode & 0777) != 0700 && chmod(directory.c_str(), 0700) != 0)
        return std::unexpected("Die Rechte des Ordners " + directory.string() + " lassen sich nicht setzen: "
            + std::strerror(errno));
    return {};
}

} // namespace FinderSyncHost
