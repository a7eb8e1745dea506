#include "Platform/Foundation/PrivateDirectory.hpp"

#include "Platform/Foundation/UserDefaultsFile.hpp"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

std::expected<void, std::string> checkOwnDirectory(const std::filesystem::path& directory)
{
    struct stat status { };
    if (::lstat(directory.c_str(), &status) != 0)
        return std::unexpected("Der Ordner " + directory.string() + " ist nicht lesbar: " + std::strerror(errno));
    if (S_ISLNK(status.st_mode))
        return std::unexpected("Der Ordner " + directory.string() + " ist ein symbolischer Link.");
    if (!S_ISDIR(status.st_mode))
        return std::unexpected(directory.string() + " ist kein Ordner.");
    if (status.st_uid != ::getuid())
        return std::unexpected("Der Ordner " + directory.string() + " gehört einem anderen Benutzer.");
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return std::unexpected("Andere Benutzer dürfen in den Ordner " + directory.string() + " schreiben.");
    return {};
}

std::expected<void, std::string> makeOwnDirectory(const std::filesystem::path& directory)
{
    if (!directory.is_absolute())
        return std::unexpected("Der Ordner " + directory.string() + " ist kein absoluter Pfad.");
    struct stat status { };
    if (::lstat(directory.c_str(), &status) != 0) {
        // Synced into its parent: a password file in a folder that a power cut takes along is a logout.
        if (auto made = createDirectoriesDurably(directory.parent_path()); !made)
            return std::unexpected("Der Ordner " + directory.parent_path().string() + " kann nicht angelegt werden: " + made.error().message());
        if (auto made = createDirectoriesDurably(directory, 0700); !made)
            return std::unexpected("Der Ordner " + directory.string() + " kann nicht angelegt werden: " + made.error().message());
    } else if (S_ISDIR(status.st_mode) && status.st_uid == ::getuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        // The user's own folder, only too open: narrowed, as nobody else owns what is in it.
        ::chmod(directory.c_str(), status.st_mode & 0755 & ~(S_IWGRP | S_IWOTH));
    }
    return checkOwnDirectory(directory);
}

std::expected<void, std::string> narrowToOwner(const std::filesystem::path& path)
{
    struct stat status { };
    if (::lstat(path.c_str(), &status) != 0)
        return {};
    if (status.st_uid != ::getuid() || !(S_ISDIR(status.st_mode) || S_ISREG(status.st_mode)))
        return {};
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) == 0)
        return {};
    // The entry was no link a moment ago; only its owner (this user) can have
    // swapped it since, as the callers narrow the folder that holds it first.
    if (::chmod(path.c_str(), status.st_mode & S_IRWXU) != 0 && errno != ENOENT)
        return std::unexpected("Die Rechte von " + path.string() + " lassen sich nicht einschränken: " + std::strerror(errno));
    return {};
}

} // namespace Platform
