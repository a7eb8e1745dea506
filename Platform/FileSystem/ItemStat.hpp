#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"

#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

struct stat;
struct timespec;

namespace Platform {

// A point in time on disk with the nanoseconds the file system keeps.
using FileTime = std::chrono::sys_time<std::chrono::nanoseconds>;

FileTime fileTimeFrom(const struct timespec& time);
// Splits into seconds and nanoseconds in [0, 1e9), also before 1970.
void toTimespec(FileTime time, struct timespec& out);

enum class ItemKind { regularFile, directory, symbolicLink, other };

// What lstat(2) says about an item. A symbolic link describes the link itself.
struct ItemStat {
    ItemKind kind = ItemKind::other;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    FileTime modificationTime{};
    FileTime changeTime{};
    std::uint32_t mode = 0;  // permission bits and type, as st_mode
    // When the item was made; only `ofTarget` reads it, and only where the
    // file system keeps a birth time.
    std::optional<FileTime> creationTime;

    static ItemStat from(const struct stat& status);
    // lstat of `path`; never follows a final symbolic link.
    [[nodiscard]] static std::expected<ItemStat, FileSystemError> of(const std::string& path);
    // statx of `path`, following symbolic links to the item they name, with
    // the birth time where the file system keeps one.
    [[nodiscard]] static std::expected<ItemStat, FileSystemError> ofTarget(const std::string& path);

    bool isDirectory() const { return kind == ItemKind::directory; }
    bool isRegularFile() const { return kind == ItemKind::regularFile; }
    bool isSymbolicLink() const { return kind == ItemKind::symbolicLink; }
};

}  // namespace Platform
