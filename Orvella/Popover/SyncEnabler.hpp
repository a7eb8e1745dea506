#pragma once

#include "Reactive/MutableProperty.hpp"

namespace Orvella {

// The user's switch for synchronisation, served by the settings manager with
// its own setting; the sync scheduler follows it.
class SyncEnabler {
public:
    virtual ~SyncEnabler() = default;

    // The very property the settings keep, not a copy.
    [[nodiscard]] virtual Reactive::MutableProperty<bool>& isSyncEnabled() = 0;
};

} // namespace Orvella
