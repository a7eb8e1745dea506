#pragma once

#include <cstdint>

namespace Quarlink {

// How long a public link stays valid. Chosen by the user when a link is made
// and sent as the integer of its position; never read from JSON.
enum class ShareLifetime {
    short_,
    medium,
    long_,
    unlimited,
};

// What the service is sent for a lifetime ("valid_to"): 7, 14, 30, or 0 for a
// link without end. The service turns it into the link's end; no date is
// computed here.
[[nodiscard]] constexpr std::int64_t validToValue(ShareLifetime lifetime)
{
    constexpr std::int64_t values[] = { 7, 14, 30, 0 };
    return values[static_cast<int>(lifetime)];
}

} // namespace Quarlink
