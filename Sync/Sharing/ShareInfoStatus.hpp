#pragma once

// Sync/Sharing: what the service reported about a file's shares (one public
// link, private shares with named people), in the form the engine stores.

#include <cstdint>
#include <optional>

namespace Sync {

// The state of a private share. Stored by its raw value: never renumber or
// reuse values.
enum class ShareInfoStatus : std::int64_t {
    Accepted = 0,
    Pending = 1,
    Declined = 2,
};

// The status of a raw value; nothing for anything but 0, 1 and 2.
[[nodiscard]] constexpr std::optional<ShareInfoStatus> shareInfoStatus(std::int64_t rawValue)
{
    if (rawValue < 0 || rawValue > 2)
        return std::nullopt;
    return static_cast<ShareInfoStatus>(rawValue);
}

[[nodiscard]] constexpr std::int64_t rawValue(ShareInfoStatus status)
{
    return static_cast<std::int64_t>(status);
}

} // namespace Sync
