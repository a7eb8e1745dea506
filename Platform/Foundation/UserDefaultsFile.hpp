#pragma once

#include "Platform/Foundation/UserFolders.hpp"

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <system_error>

namespace Platform {

// Small file primitives for settings and other state files that two processes
// share: where they live, a whole-file read, an atomic replace and a lock.

// The whole content of the file at `path`; nothing when it does not exist;
// an error when it exists but cannot be read.
[[nodiscard]] std::expected<std::optional<std::string>, std::error_code> readWholeFile(const std::filesystem::path& path);

// Whether a replaced file must be on disk before the rename (settings,
// passwords) or may trail behind it (a copy of data held elsewhere).
enum class FileDurability { Synced, Unsynced };

// Replaces the file at `path` with `content`: written to a temporary file
// beside it (created with `mode`), synced unless `Unsynced`, then renamed
// into place, so a reader sees either the old or the new content and a crash
// leaves one of them. The folder must exist. The temporary file is removed
// on failure.
[[nodiscard]] std::expected<void, std::error_code> writeFileAtomically(
    const std::filesystem::path& path, std::string_view content, mode_t mode = 0644, FileDurability durability = FileDurability::Synced);

// Creates `directory` and its missing parents (with `mode`, before the umask)
// and syncs the folder above each one it made: a new folder's name is on the
// disk only then, and a power cut would otherwise take it with everything
// stored in it since. An existing directory is left as it is.
[[nodiscard]] std::expected<void, std::error_code> createDirectoriesDurably(const std::filesystem::path& directory, mode_t mode = 0777);

// An exclusive advisory lock (`flock`) on a lock file, held while the object
// lives. The lock file is created (0600) when missing and never removed, so
// every process locks the same inode.
class FileLock {
public:
    [[nodiscard]] static std::expected<FileLock, std::error_code> acquire(const std::filesystem::path& lockFile);
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) = delete;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

private:
    explicit FileLock(int descriptor) : m_descriptor(descriptor) {}
    int m_descriptor = -1;
};

} // namespace Platform
