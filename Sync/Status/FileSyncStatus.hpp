#pragma once

// Sync/Status: the per-file sync status that the engine writes and the
// file-manager extension reads, from another process, to draw its badges.

#include <cstdint>
#include <optional>
#include <string>

namespace Sync {

// The sync status of one item. Stored in the database as its raw value:
// never renumber or reuse values.
enum class FileSyncStatus : std::int64_t {
    // The item is in step with the server.
    upToDate = 0,
    // A change of the item is pending or under way.
    syncing = 1,
    // The last change of the item failed.
    error = 2,
    // The store has no status for the item (also any stored number outside 0 to 3).
    unknown = 3,
};

// The status with raw value `rawValue`; nothing for a number outside 0 to 3.
[[nodiscard]] std::optional<FileSyncStatus> fileSyncStatus(std::int64_t rawValue);

[[nodiscard]] constexpr std::int64_t rawValue(FileSyncStatus status)
{
    return static_cast<std::int64_t>(status);
}

// The decimal text of the raw value, "0" to "3".
[[nodiscard]] std::string debugDescription(FileSyncStatus status);

} // namespace Sync
