#pragma once

namespace Sync {

// The lifetime a user picks for a new public link. It carries no duration of
// its own; the application maps it. The engine never reads it.
enum class ShareLifetime {
    Short,
    Medium,
    Long,
    Unlimited,
};

} // namespace Sync
