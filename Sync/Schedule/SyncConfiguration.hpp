#pragma once

#include "Reactive/Property.hpp"

#include <chrono>

namespace Sync {

// What the application tells the sync scheduler about when syncing may
// happen. Implemented by the application; read from the scheduler's threads.
class SyncConfiguration {
public:
    virtual ~SyncConfiguration() = default;

    // The polling interval of the remote trigger; read each time sync becomes
    // enabled. Must be positive.
    [[nodiscard]] virtual std::chrono::nanoseconds syncInterval() const = 0;
    // Whether the user has switched sync on. Read once, when the scheduler is
    // made; its changes are followed from then on, on whatever thread they happen.
    [[nodiscard]] virtual Reactive::Property<bool> isSyncEnabled() const = 0;
    // Whether the server can be reached; read once and followed like `isSyncEnabled`.
    [[nodiscard]] virtual Reactive::Property<bool> isRemoteReachable() const = 0;
};

} // namespace Sync
