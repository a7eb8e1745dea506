#include "Platform/FileSystem/Trash.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/PrivateDirectory.hpp"
#include "Platform/Foundation/UserFolders.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

std::string parentOf(const std::string& path)
{
    auto const slash = path.find_last_of('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}



// The device of `path` or, while it does not exist yet, of its nearest parent.
std::uint64_t deviceOfNearest(std::string path)
{
    struct stat status {};
    while (::stat(path.c_str(), &status) != 0 && path != "/") {
        path = parentOf(path);
    }
    return status.st_dev;
}

// The mount point holding `path`: the highest ancestor on the same device.
std::string topDirectoryOf(const std::string& canonicalParent, std::uint64_t device)
{
    std::string top = canonicalParent;
    while (top != "/") {
        std::string const parent = parentOf(top);
        struct stat status {};
        if (::stat(parent.c_str(), &status) != 0 || status.st_dev != device) {
            break;
        }
        top = parent;
    }
    return top;
}

std::expected<void, FileSystemError> ensurePrivateDirectory(const std::string& path)
{
    auto made = createDirectory(path, CreateIntermediates::Yes);
    if (made) {
        ::chmod(path.c_str(), 0700);
        return {};
    }
    if (made.error().code != FileSystemErrorCode::alreadyExists) {
        return made;
    }
    return {};
}

bool isUsableDirectory(const std::string& path, bool requireSticky)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return false;
    }
    return !requireSticky || (status.st_mode & S_ISVTX) != 0;
}

// The trash directory for an item on another file system than the home trash:
// "$topdir/.Trash/$uid" below a sticky ".Trash", else "$topdir/.Trash-$uid".
// Anything another user made or may write to there (a mount is often open to
// all) is refused with a log line rather than used, so no one else reads or
// swaps what the user deletes.
std::expected<std::string, FileSystemError> mountTrashFor(const std::string& topDirectory)
{
    std::string const uid = std::to_string(::getuid());
    std::string const base = topDirectory == "/" ? "" : topDirectory;
    std::string const shared = base + "/.Trash";
    if (isUsableDirectory(shared, true)) {
        std::string const own = shared + "/" + uid;
        if (auto trusted = makeOwnDirectory(own)) {
            return own;
        } else {
            Log::failure("Der Papierkorb " + own + " wird nicht benutzt: " + trusted.error());
        }
    } else if (struct stat status {}; ::lstat(shared.c_str(), &status) == 0) {
        Log::failure("Der Papierkorb " + shared + " wird nicht benutzt: kein echter Ordner mit Sticky-Bit.");
    }
    std::string const own = base + "/.Trash-" + uid;
    if (auto trusted = makeOwnDirectory(own); !trusted) {
        Log::failure("Der Papierkorb " + own + " wird nicht benutzt: " + trusted.error());
        return std::unexpected(FileSystemError::make(FileSystemErrorCode::permissionDenied, own));
    }
    return own;
}

std::string percentEncoded(const std::string& path)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string result;
    for (unsigned char const character : path) {
        bool const plain = (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
                           (character >= '0' && character <= '9') || character == '/' || character == '-' ||
                           character == '_' || character == '.' || character == '~';
        if (plain) {
            result += static_cast<char>(character);
        } else {
            result += '%';
            result += hex[character >> 4];
            result += hex[character & 0x0F];
        }
    }
    return result;
}

std::string localDeletionDate()
{
    std::time_t const now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string candidateName(const std::string& name, int attempt)
{
    if (attempt == 1) {
        return name;
    }
    auto dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) {
        dot = name.size();
    }
    return name.substr(0, dot) + "." + std::to_string(attempt) + name.substr(dot);
}

bool writeAll(int descriptor, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        ssize_t const count = ::write(descriptor, text.data() + written, text.size() - written);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}

std::expected<TrashedItem, FileSystemError> moveInto(const std::string& trash, const std::string& item,
                                                     const std::string& recordedPath)
{
    for (auto const& directory : {trash, trash + "/files", trash + "/info"}) {
        if (auto made = ensurePrivateDirectory(directory); !made) {
            return std::unexpected(made.error());
        }
    }
    std::string const name = item.substr(item.find_last_of('/') + 1);
    std::string const info = "[Trash Info]\nPath=" + percentEncoded(recordedPath) +
                             "\nDeletionDate=" + localDeletionDate() + "\n";
    for (int attempt = 1; attempt < 10000; ++attempt) {
        std::string const candidate = candidateName(name, attempt);
        TrashedItem result{trash + "/files/" + candidate, trash + "/info/" + candidate + ".trashinfo"};
        int const descriptor = ::open(result.infoPath.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (descriptor < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return std::unexpected(FileSystemError::fromErrno(errno, result.infoPath));
        }
        bool const written = writeAll(descriptor, info);
        int const writeError = errno;
        ::close(descriptor);
        if (!written) {
            ::unlink(result.infoPath.c_str());
            return std::unexpected(FileSystemError::fromErrno(writeError, result.infoPath));
        }
        auto moved = moveItem(item, result.trashedPath);
        if (moved) {
            return result;
        }
        ::unlink(result.infoPath.c_str());
        // A leftover in files/ without its info file: take the next name.
        if (moved.error().code != FileSystemErrorCode::alreadyExists) {
            return std::unexpected(moved.error());
        }
    }
    return std::unexpected(FileSystemError::make(FileSystemErrorCode::alreadyExists, trash));
}

}  // namespace

std::expected<TrashedItem, FileSystemError> Trash::moveToTrash(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    struct stat status {};
    if (trimmed.empty() || ::lstat(trimmed.c_str(), &status) != 0) {
        return std::unexpected(FileSystemError::fromErrno(trimmed.empty() ? ENOENT : errno, path));
    }
    // The item's own name is kept; only its parent is made canonical.
    std::string const absolute = trimmed.front() == '/' ? trimmed : "./" + trimmed;
    std::unique_ptr<char, decltype(&std::free)> parent(::realpath(parentOf(absolute).c_str(), nullptr), &std::free);
    if (!parent) {
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    }
    std::string const canonicalParent = parent.get();
    std::string const name = absolute.substr(absolute.find_last_of('/') + 1);
    std::string const item = (canonicalParent == "/" ? "" : canonicalParent) + "/" + name;

    // Without a home there is no home Trash: never one at "/Trash".
    auto const dataHome = baseDirectory(BaseDirectory::data);
    std::string const homeTrash = dataHome.empty() ? std::string() : dataHome.string() + "/Trash";
    if (!homeTrash.empty() && deviceOfNearest(homeTrash) == status.st_dev) {
        return moveInto(homeTrash, item, item);
    }
    std::string const top = topDirectoryOf(canonicalParent, status.st_dev);
    auto trash = mountTrashFor(top);
    if (!trash) {
        return std::unexpected(trash.error());
    }
    std::string const relative = top == "/" ? item.substr(1) : item.substr(top.size() + 1);
    return moveInto(*trash, item, relative);
}

}  // namespace Platform
