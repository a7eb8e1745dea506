#include "Sync/Status/FileSyncStatus.hpp"

namespace Sync {

std::optional<FileSyncStatus> fileSyncStatus(std::int64_t rawValue)
{
    if (rawValue < 0 || rawValue > 3)
        return std::nullopt;
    return static_cast<FileSyncStatus>(rawValue);
}

std::string debugDescription(FileSyncStatus status)
{
    return std::to_string(rawValue(status));
}

} // namespace Sync
