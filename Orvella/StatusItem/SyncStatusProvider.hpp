#pragma once
// Orvella/StatusItem: the tray icon that follows the sync state and opens the
// popover: its view model, its controller and the two small interfaces that
// separate it from the sync engine and the navigator.

#include "Reactive/Property.hpp"
#include "Sync/Schedule/SyncStatus.hpp"

namespace Orvella {

// The sync scheduler's state as the tray icon and the popover read it. Served
// by the sync engine's scheduler; its status may change on any thread.
class SyncStatusProvider {
public:
    virtual ~SyncStatusProvider() = default;

    [[nodiscard]] virtual Reactive::Property<Sync::SyncStatus> status() const = 0;
};

} // namespace Orvella
