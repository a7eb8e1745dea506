#pragma once

#include "Platform/FileSystem/ItemStat.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace Platform {

// The identity of a file-system object that survives renames and moves inside
// its file system: the device and inode, plus the birth time where the file
// system reports one (it tells a new file from an old one that reused the
// inode). It stands in for bookmark data: `bookmarkData()` is the stored form,
// and "does the bookmark lead to this item" is `identity(of: item) == stored`.
//
// Device numbers of some file systems (network, removable) can change between
// mounts; an identity then no longer matches, as a stale bookmark would not.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::optional<FileTime> birthTime;

    // statx(2) of `path` without following a final symbolic link.
    [[nodiscard]] static std::expected<FileIdentity, FileSystemError> of(const std::string& path);

    // A fixed 29-byte little-endian form: version 1, device, inode, a flag
    // for the birth time, seconds and nanoseconds. Never change the layout of
    // version 1; it is stored in extended attributes.
    std::vector<std::uint8_t> bookmarkData() const;
    // Nothing for bytes that are not a bookmark of a known version.
    static std::optional<FileIdentity> fromBookmarkData(std::span<const std::uint8_t> bytes);

    // Same object: same device and inode, and the same birth time when both
    // sides know one (a side without one matches on device and inode alone).
    friend bool operator==(const FileIdentity& left, const FileIdentity& right)
    {
        if (left.device != right.device || left.inode != right.inode) {
            return false;
        }
        return !left.birthTime || !right.birthTime || *left.birthTime == *right.birthTime;
    }
};

}  // namespace Platform
