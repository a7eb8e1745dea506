#include "Platform/FileSystem/FileStatus.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace Platform {

FileTime fileTimeFrom(const struct timespec& time)
{
    return FileTime{std::chrono::seconds{time.tv_sec} + std::chrono::nanoseconds{time.tv_nsec}};
}

void toTimespec(FileTime time, struct timespec& out)
{
    auto const nanoseconds = time.time_since_epoch();
    auto seconds = std::chrono::floor<std::chrono::seconds>(nanoseconds);
    out.tv_sec = static_cast<time_t>(seconds.count());
    out.tv_nsec = static_cast<long>((nanoseconds - seconds).count());
}

FileStatus FileStatus::from(const struct stat& status)
{
    FileStatus result;
    if (S_ISREG(status.st_mode)) {
        result.kind = ItemKind::regularFile;
    } else if (S_ISDIR(status.st_mode)) {
        result.kind = ItemKind::directory;
    } else if (S_ISLNK(status.st_mode)) {
        result.kind = ItemKind::symbolicLink;
    }
    result.device = status.st_dev;
    result.inode = status.st_ino;
    result.size = static_cast<std::uint64_t>(status.st_size);
    result.modificationTime = fileTimeFrom(status.st_mtim);
    result.changeTime = fileTimeFrom(status.st_ctim);
    result.mode = status.st_mode;
    return result;
}

std::expected<FileStatus, FileSystemError> FileStatus::of(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    }
    return from(status);
}

std::expected<FileStatus, FileSystemError> FileStatus::ofTarget(const std::string& path)
{
    struct statx status {};
    unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    if (::statx(AT_FDCWD, path.c_str(), 0, mask, &status) != 0) {
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    }
    auto toTime = [](const struct statx_timestamp& time) {
        return FileTime{std::chrono::seconds{time.tv_sec} + std::chrono::nanoseconds{time.tv_nsec}};
    };
    FileStatus result;
    auto type = status.stx_mode & S_IFMT;
    if (type == S_IFREG) {
        result.kind = ItemKind::regularFile;
    } else if (type == S_IFDIR) {
        result.kind = ItemKind::directory;
    } else if (type == S_IFLNK) {
        result.kind = ItemKind::symbolicLink;
    }
    // The same numbering as st_dev, so that both kinds of status compare.
    result.device = makedev(status.stx_dev_major, status.stx_dev_minor);
    result.inode = status.stx_ino;
    result.size = status.stx_size;
    result.modificationTime = toTime(status.stx_mtime);
    result.changeTime = toTime(status.stx_ctime);
    result.mode = status.stx_mode;
    if ((status.stx_mask & STATX_BTIME) != 0) {
        result.creationTime = toTime(status.stx_btime);
    }
    return result;
}

}  // namespace Platform
