#pragma once

#include "Quarlink/Environment/Environment.hpp"
#include "Reactive/MutableProperty.hpp"

namespace Orvella {

// The service environment in force: the settings' own property, not a copy.
class EnvironmentSwitcher {
public:
    virtual ~EnvironmentSwitcher() = default;
    [[nodiscard]] virtual Reactive::MutableProperty<Quarlink::Environment>& environment() = 0;
};

} // namespace Orvella
