#pragma once

// Quarlink/Reachability: whether the service host can be reached.

#include "Platform/Network/ReachabilityMonitor.hpp"
#include "Quarlink/Environment/ClientStates.hpp"
#include "Reactive/MutableProperty.hpp"

#include <cstdint>
#include <expected>
#include <memory>
#include <string>

namespace Quarlink {

// Watches whether one host can be reached, through the platform's
// reachability monitor, and publishes it as `notReachable` or `reachable`
// (never `reachableViaWWAN`). Every assessment of the monitor, repeats
// included, is one more status value.
//
// Threading: `status()` and the streams may be used from any thread; values
// after the first arrive on the monitor's thread. `startObservation` and
// `stopObservation` are called from one thread at a time. The monitor's
// callbacks never outlive the observer: it stops the monitor before it goes.
class NetworkReachabilityObserver {
public:
    enum class CreationError {
        // The host name is empty.
        missingHost,
        // The platform could not watch the host.
        monitorUnavailable,
    };

    // Watches `host` (a name or a numeric address) with a connect probe on `port`.
    [[nodiscard]] static std::expected<std::shared_ptr<NetworkReachabilityObserver>, CreationError> create(
        const std::string& host, std::uint16_t port);
    // Watches with the given monitor (tests pass a scripted one). Must not be null.
    [[nodiscard]] static std::shared_ptr<NetworkReachabilityObserver> create(std::unique_ptr<Platform::ReachabilityMonitor> monitor);
    ~NetworkReachabilityObserver();
    NetworkReachabilityObserver(const NetworkReachabilityObserver&) = delete;
    NetworkReachabilityObserver& operator=(const NetworkReachabilityObserver&) = delete;

    // Read from the monitor at construction, then from every callback.
    [[nodiscard]] ReachabilityStatus status() const { return m_status.value(); }
    [[nodiscard]] bool isRunning() const;

    // Registers for changes; a second start while running does nothing.
    void startObservation();
    // Unregisters; no callback arrives after it returns.
    void stopObservation();

    // The current status when started, then one value for every assessment.
    [[nodiscard]] Reactive::SignalProducer<ReachabilityStatus, Reactive::NoError> statusProducer() const
    {
        return m_status.producer();
    }
    // One value for every later assessment, without the current one.
    [[nodiscard]] Reactive::Signal<ReachabilityStatus, Reactive::NoError> statusValues() const { return m_status.signal(); }

private:
    explicit NetworkReachabilityObserver(std::unique_ptr<Platform::ReachabilityMonitor> monitor);

    std::unique_ptr<Platform::ReachabilityMonitor> m_monitor;
    // Shared with the monitor's handler, which must not hold the observer itself.
    std::shared_ptr<Reactive::MutableProperty<ReachabilityStatus>> m_statusStorage;
    Reactive::MutableProperty<ReachabilityStatus>& m_status;
};

[[nodiscard]] ReachabilityStatus reachabilityStatus(Platform::HostReachability reachability);

} // namespace Quarlink
