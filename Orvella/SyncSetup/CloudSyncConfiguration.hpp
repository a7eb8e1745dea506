#pragma once

// Orvella/SyncSetup: what the sync engine asks the application before and
// while it runs: when it may sync, how often it polls, and a cloud folder
// that is there (with its sidebar entry).

#include "Shared/ClientConfiguration.hpp"
#include "Quarlink/Environment/ClientStates.hpp"
#include "Reactive/Property.hpp"
#include "Sync/Schedule/SyncConfiguration.hpp"

#include <chrono>

namespace Orvella {

// Tells the sync scheduler when to run: logged in and "EnableSync" on, the
// service reachable in every state but `notReachable`, and the brand's
// interval in whole seconds. Fixed at construction; equal values in a row
// are dropped from both flags.
class CloudSyncConfiguration final : public Sync::SyncConfiguration {
public:
    // Stops the process when the brand's interval is not finite or does not
    // fit whole seconds of a 64-bit count.
    CloudSyncConfiguration(const ClientConfiguration& configuration, Reactive::Property<bool> isLoggedIn,
        Reactive::Property<Quarlink::ReachabilityStatus> reachability, Reactive::Property<bool> isSyncEnabledSetting);

    [[nodiscard]] std::chrono::nanoseconds syncInterval() const override { return m_syncInterval; }
    [[nodiscard]] Reactive::Property<bool> isSyncEnabled() const override { return m_isSyncEnabled; }
    [[nodiscard]] Reactive::Property<bool> isRemoteReachable() const override { return m_isRemoteReachable; }

    // Whole seconds of `interval` (truncated toward zero); nothing when not
    // finite or out of range.
    [[nodiscard]] static std::optional<std::chrono::seconds> wholeSeconds(double interval);

private:
    Reactive::Property<bool> m_isSyncEnabled;
    Reactive::Property<bool> m_isRemoteReachable;
    std::chrono::nanoseconds m_syncInterval;
};

} // namespace Orvella
