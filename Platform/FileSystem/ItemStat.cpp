#include "Platform/FileSystem/ItemStat.hpp"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace Platform {

namespace {

// Nanoseconds since 1970 reach from 1677 to 2262: a time outside (a date a
// file was given by hand, say) is the nearest one inside, never a wrapped one.
FileTime saturatedFileTime(std::int64_t seconds, std::int64_t nanoseconds)
{
    constexpr auto perSecond = std::int64_t{1'000'000'000};
    constexpr auto latest = std::numeric_limits<std::int64_t>::max() / perSecond - 1;
    constexpr auto earliest = std::numeric_limits<std::int64_t>::min() / perSecond + 1;
    if (seconds > latest) {
        return FileTime::max();
    }
    if (seconds < earliest) {
        return FileTime::min();
    }
    return FileTime{std::chrono::seconds{seconds} + std::chrono::nanoseconds{nanoseconds}};
}

}  // namespace

FileTime fileTimeFrom(const struct timespec& time)
{
    return saturatedFileTime(time.tv_sec, time.tv_nsec);
}

void toTimespec(FileTime time, struct timespec& out)
{
    auto const nanoseconds = time.time_since_epoch();
    auto seconds = std::chrono::floor<std::chrono::seconds>(nanoseconds);
    out.tv_sec = static_cast<time_t>(seconds.count());
    out.tv_nsec = static_cast<long>((nanoseconds - seconds).count());
}

ItemStat ItemStat::from(const struct stat& status)
{
    ItemStat result;
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

std::expected<ItemStat, FileSystemError> ItemStat::of(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    }
    return from(status);
}

std::expected<ItemStat, FileSystemError> ItemStat::ofTarget(const std::string& path)
{
    struct statx status {};
    unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    if (::statx(AT_FDCWD, path.c_str(), 0, mask, &status) != 0) {
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    }
    auto toTime = [](const struct statx_timestamp& time) { return saturatedFileTime(time.tv_sec, time.tv_nsec); };
    ItemStat result;
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
