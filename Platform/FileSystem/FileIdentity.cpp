#include "Platform/FileSystem/FileIdentity.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace Platform {

namespace {

constexpr std::uint8_t bookmarkVersion = 1;
constexpr std::size_t bookmarkSize = 1 + 8 + 8 + 1 + 8 + 4;

void put(std::vector<std::uint8_t>& bytes, std::uint64_t value, int count)
{
    for (int index = 0; index < count; ++index) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * index)));
    }
}

std::uint64_t get(std::span<const std::uint8_t> bytes, std::size_t offset, int count)
{
    std::uint64_t value = 0;
    for (int index = 0; index < count; ++index) {
        value |= static_cast<std::uint64_t>(bytes[offset + static_cast<std::size_t>(index)]) << (8 * index);
    }
    return value;
}

}  // namespace

std::expected<FileIdentity, FileSystemError> FileIdentity::of(const std::string& path)
{
    struct statx status {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &status) != 0) {
        return std::unexpected(FileSystemError::fromErrno(errno, path));
    }
    FileIdentity identity;
    identity.device = makedev(status.stx_dev_major, status.stx_dev_minor);
    identity.inode = status.stx_ino;
    if ((status.stx_mask & STATX_BTIME) != 0) {
        identity.birthTime = FileTime{std::chrono::seconds{status.stx_btime.tv_sec} +
                                      std::chrono::nanoseconds{status.stx_btime.tv_nsec}};
    }
    return identity;
}

std::vector<std::uint8_t> FileIdentity::bookmarkData() const
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(bookmarkSize);
    bytes.push_back(bookmarkVersion);
    put(bytes, device, 8);
    put(bytes, inode, 8);
    bytes.push_back(birthTime ? 1 : 0);
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    if (birthTime) {
        struct timespec split {};
        toTimespec(*birthTime, split);
        seconds = split.tv_sec;
        nanoseconds = static_cast<std::uint32_t>(split.tv_nsec);
    }
    put(bytes, static_cast<std::uint64_t>(seconds), 8);
    put(bytes, nanoseconds, 4);
    return bytes;
}

std::optional<FileIdentity> FileIdentity::fromBookmarkData(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() != bookmarkSize || bytes[0] != bookmarkVersion || bytes[17] > 1) {
        return std::nullopt;
    }
    FileIdentity identity;
    identity.device = get(bytes, 1, 8);
    identity.inode = get(bytes, 9, 8);
    if (bytes[17] == 1) {
        auto const seconds = static_cast<std::int64_t>(get(bytes, 18, 8));
        auto const nanoseconds = get(bytes, 26, 4);
        if (nanoseconds >= 1'000'000'000) {
            return std::nullopt;
        }
        identity.birthTime = FileTime{std::chrono::seconds{seconds} +
                                      std::chrono::nanoseconds{static_cast<std::int64_t>(nanoseconds)}};
    }
    return identity;
}

}  // namespace Platform
