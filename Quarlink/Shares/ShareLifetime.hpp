#pragma once

namespace Quarlink {

// How long a public link stays valid. Chosen by the user when a link is made
// and sent as the integer of its position; never read from JSON.
enum class ShareLifetime {
    short_,
    medium,
    long_,
    unlimited,
};

} // namespace Quarlink
