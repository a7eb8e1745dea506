#pragma once

#include "Orvella/Launch/AppDelegate.hpp"
#include "Orvella/Resolver/Resolver.hpp"

namespace Orvella {

// Fills the launch's services from the container. A service that cannot be
// resolved is logged with its key and the reason and left empty, so the
// launch ends in order. The status item and the navigator are resolved when
// the launch first uses them: building them starts the sync engine and opens
// the database, which must wait for the database check. `resolver` must
// outlive the delegate.
void addContainerServices(AppDelegate::Services& services, Resolver& resolver);

} // namespace Orvella
