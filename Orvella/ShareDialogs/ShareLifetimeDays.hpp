#pragma once

#include "Sync/Sharing/ShareLifetime.hpp"

namespace Orvella {

// A link lifetime as the number of days the dialog offers: 7, 14, 30, and 0
// for a link without limit.
[[nodiscard]] constexpr int days(Sync::ShareLifetime lifetime)
{
    switch (lifetime) {
    case Sync::ShareLifetime::Short:
        return 7;
    case Sync::ShareLifetime::Medium:
        return 14;
    case Sync::ShareLifetime::Long:
        return 30;
    case Sync::ShareLifetime::Unlimited:
        break;
    }
    return 0;
}

// The lifetime for a number of days; any number but 7, 14 and 30 is unlimited.
[[nodiscard]] constexpr Sync::ShareLifetime shareLifetime(int days)
{
    switch (days) {
    case 7:
        return Sync::ShareLifetime::Short;
    case 14:
        return Sync::ShareLifetime::Medium;
    case 30:
        return Sync::ShareLifetime::Long;
    default:
        return Sync::ShareLifetime::Unlimited;
    }
}

} // namespace Orvella
