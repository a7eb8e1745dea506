#pragma once

#include "Reactive/MutableProperty.hpp"

namespace Orvella {

// Whether synchronisation runs: the settings' own property, not a copy.
class SyncEnabler {
public:
    virtual ~SyncEnabler() = default;
    [[nodiscard]] virtual Reactive::MutableProperty<bool>& isSyncEnabled() = 0;
};

} // namespace Orvella
