#include "Platform/FileSystem/FileOperations.hpp"

#include "Platform/Foundation/KillPoint.hpp"
#include "Platform/Foundation/UUID.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fts.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

using Result = std::expected<void, FileSystemError>;

Result failure(int error, const std::string& path)
{
    return std::unexpected(FileSystemError::fromErrno(error, path));
}

std::string parentOf(const std::string& path)
{
    auto const slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Copies the regular file `source` to the new file `destination` (given the
// source's mode), and answers 0 or the errno of the step that failed, so
// that a full disk reads as one (a library copy reports it as an I/O error).
int copyFile(const std::string& source, const std::string& destination)
{
    int const input = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0) {
        return errno;
    }
    struct stat status {};
    if (::fstat(input, &status) != 0 || !S_ISREG(status.st_mode)) {
        int const error = S_ISREG(status.st_mode) ? errno : EINVAL;
        ::close(input);
        return error;
    }
    int const output = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (output < 0) {
        int const error = errno;
        ::close(input);
        return error;
    }
    // The source's own mode, whatever the umask says.
    int error = ::fchmod(output, status.st_mode & 07777) == 0 ? 0 : errno;
    char buffer[64 * 1024];
    while (error == 0) {
        ssize_t const count = ::read(input, buffer, sizeof buffer);
        if (count == 0) {
            break;
        }
        if (count < 0) {
            error = errno == EINTR ? 0 : errno;
            continue;
        }
        for (ssize_t written = 0; written < count && error == 0;) {
            ssize_t const step = ::write(output, buffer + written, static_cast<std::size_t>(count - written));
            if (step < 0) {
                error = errno == EINTR ? 0 : errno;
            } else {
                written += step;
            }
        }
    }
    // A full disk may show only when the data is written back, at the close.
    if (::close(output) != 0 && error == 0) {
        error = errno;
    }
    ::close(input);
    return error;
}

Result makeDirectory(const std::string& path, CreateIntermediates intermediates, int depth)
{
    if (::mkdir(path.c_str(), 0777) == 0) {
        return {};
    }
    int const error = errno;
    if (error == EEXIST) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            return failure(EEXIST, path);
        }
        return std::unexpected(FileSystemError::make(FileSystemErrorCode::notADirectory, path));
    }
    // Bounded so a path of thousands of components cannot exhaust the stack.
    if (error != ENOENT || intermediates == CreateIntermediates::No || depth > 256) {
        return failure(error, path);
    }
    auto parent = makeDirectory(parentOf(path), intermediates, depth + 1);
    if (!parent && parent.error().code != FileSystemErrorCode::alreadyExists) {
        return parent;
    }
    if (::mkdir(path.c_str(), 0777) != 0) {
        return failure(errno, path);
    }
    return {};
}

}  // namespace

Result createDirectory(const std::string& path, CreateIntermediates intermediates,
                       std::optional<FileTime> modificationTime)
{
    auto made = makeDirectory(path, intermediates, 0);
    if (!made) {
        return made;
    }
    if (modificationTime) {
        return setModificationTime(path, *modificationTime);
    }
    return {};
}

Result removeItem(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return failure(errno, path);
    }
    if (!S_ISDIR(status.st_mode)) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            return failure(errno, path);
        }
        return {};
    }
    std::string root = path;
    char* paths[] = {root.data(), nullptr};
    FTS* fts = ::fts_open(paths, FTS_PHYSICAL | FTS_NOCHDIR | FTS_XDEV, nullptr);
    if (fts == nullptr) {
        return failure(errno, path);
    }
    std::optional<FileSystemError> firstError;
    auto note = [&firstError](int error, const char* itemPath) {
        if (error != ENOENT && !firstError) {
            firstError = FileSystemError::fromErrno(error, itemPath);
        }
    };
    while (FTSENT* entry = ::fts_read(fts)) {
        switch (entry->fts_info) {
        case FTS_D:
            break;
        case FTS_DP:
            if (::rmdir(entry->fts_path) != 0) {
                note(errno, entry->fts_path);
            }
            break;
        case FTS_DNR:
        case FTS_ERR:
        case FTS_NS:
            note(entry->fts_errno, entry->fts_path);
            break;
        default:
            if (::unlink(entry->fts_path) != 0) {
                note(errno, entry->fts_path);
            }
            break;
        }
    }
    ::fts_close(fts);
    if (firstError) {
        return std::unexpected(*firstError);
    }
    return {};
}

Result moveItem(const std::string& source, const std::string& destination)
{
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    int const error = errno;
    // EINVAL: the file system does not know the flag (some network and FUSE
    // file systems). Any other answer is the real one.
    if (error == EINVAL || error == ENOSYS) {
        return moveItemByReservation(source, destination);
    }
    if (error == ENOENT && ::access(source.c_str(), F_OK) != 0) {
        return failure(ENOENT, source);
    }
    return failure(error, destination);
}

Result replaceItem(const std::string& source, const std::string& destination)
{
    struct stat status {};
    // rename(2) would replace an empty directory with a directory: refuse that here.
    if (::lstat(destination.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return failure(EEXIST, destination);
    }
    if (::rename(source.c_str(), destination.c_str()) == 0) {
        return {};
    }
    int const error = errno;
    if (error == ENOENT && ::access(source.c_str(), F_OK) != 0) {
        return failure(ENOENT, source);
    }
    return failure(error, destination);
}

Result renameFile(const std::string& source, const std::string& destination, ReplaceExisting replace)
{
    return replace == ReplaceExisting::Yes ? replaceItem(source, destination) : moveItem(source, destination);
}

Result DiskSync::syncFile(const std::string& path) const
{
    int const descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        return failure(errno, path);
    }
    int const synced = ::fsync(descriptor);
    int const error = errno;
    ::close(descriptor);
    if (synced != 0) {
        return failure(error, path);
    }
    return {};
}

Result DiskSync::syncFolder(const std::string& path) const
{
    int const descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        return failure(errno, path);
    }
    int const synced = ::fsync(descriptor);
    int const error = errno;
    ::close(descriptor);
    // Some file systems cannot sync a folder (EINVAL): their entries are as
    // durable as they make them, and nothing more can be done here.
    if (synced != 0 && error != EINVAL) {
        return failure(error, path);
    }
    return {};
}

const std::shared_ptr<const DiskSync>& DiskSync::system()
{
    static const auto instance = std::make_shared<const DiskSync>();
    return instance;
}

namespace {

// The rename of a finished file, synced before and its folder after when asked.
Result renameSynced(const std::string& source, const std::string& destination, ReplaceExisting replace,
                    const DiskSync* durable)
{
    if (durable) {
        if (auto synced = durable->syncFile(source); !synced) {
            return synced;
        }
    }
    auto placed = renameFile(source, destination, replace);
    if (!placed || !durable) {
        return placed;
    }
    return durable->syncFolder(parentOf(destination));
}

// Whether `source` and the folder of `destination` lie on one file system
// (a rename can join them); true when it cannot be told, so that the rename
// itself answers.
bool onOneFileSystem(const std::string& source, const std::string& destination)
{
    struct stat sourceStatus {};
    struct stat folderStatus {};
    if (::lstat(source.c_str(), &sourceStatus) != 0 || ::stat(parentOf(destination).c_str(), &folderStatus) != 0) {
        return true;
    }
    return sourceStatus.st_dev == folderStatus.st_dev;
}

}  // namespace

Result placeFile(const std::string& source, const std::string& destination, ReplaceExisting replace,
                 const DiskSync* durable)
{
    // A file on another file system is not synced where it lies: only its
    // copy below is what must survive.
    if (!durable || onOneFileSystem(source, destination)) {
        auto placed = renameSynced(source, destination, replace, durable);
        if (placed || placed.error().code != FileSystemErrorCode::crossDevice) {
            return placed;
        }
    }
    // Copied beside the destination first, so that the destination never
    // holds half a file and the last step is one rename again.
    auto const slash = destination.find_last_of('/');
    auto const name = destination.substr(slash == std::string::npos ? 0 : slash + 1);
    auto const sibling = destination.substr(0, destination.size() - name.size()) + (name.starts_with('.') ? "" : ".") + name + "."
                         + UUID().uuidString();
    if (int const copyError = copyFile(source, sibling); copyError != 0) {
        if (copyError != EEXIST) {
            static_cast<void>(::unlink(sibling.c_str()));
        }
        return failure(copyError, sibling);
    }
    killPoint("file-copied-beside-destination");
    auto placed = renameSynced(sibling, destination, replace, durable);
    if (!placed) {
        static_cast<void>(::unlink(sibling.c_str()));
        return placed;
    }
    static_cast<void>(::unlink(source.c_str()));
    return {};
}

Result moveItemByReservation(const std::string& source, const std::string& destination)
{
    struct stat status {};
    if (::lstat(source.c_str(), &status) != 0) {
        return failure(errno, source);
    }
    if (!S_ISDIR(status.st_mode)) {
        // link(2) never replaces: it fails with EEXIST.
        if (::link(source.c_str(), destination.c_str()) == 0) {
            if (::unlink(source.c_str()) != 0) {
                int const error = errno;
                ::unlink(destination.c_str());
                return failure(error, source);
            }
            return {};
        }
        if (errno == EEXIST || errno == ENOENT || errno == EXDEV) {
            return failure(errno, destination);
        }
        int const reservation = ::open(destination.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (reservation < 0) {
            return failure(errno, destination);
        }
        ::close(reservation);
    } else if (::mkdir(destination.c_str(), 0700) != 0) {
        return failure(errno, destination);
    }
    // rename(2) replaces the empty reservation made above and nothing else:
    // a directory reservation that someone filled meanwhile fails ENOTEMPTY.
    if (::rename(source.c_str(), destination.c_str()) != 0) {
        int const error = errno;
        if (S_ISDIR(status.st_mode)) {
            ::rmdir(destination.c_str());
        } else {
            ::unlink(destination.c_str());
        }
        return failure(error, destination);
    }
    return {};
}

Result setModificationTime(const std::string& path, FileTime time)
{
    struct timespec times[2] {};
    times[0].tv_nsec = UTIME_OMIT;
    toTimespec(time, times[1]);
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        return failure(errno, path);
    }
    return {};
}

unsigned newFileMode()
{
    // Setting the umask to read it would race with files other threads create meanwhile.
    unsigned mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof(line), status)) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = value;
                break;
            }
        }
        std::fclose(status);
    }
    return 0666u & ~mask;
}

}  // namespace Platform
