#pragma once

#include "Platform/Network/ReachabilityMonitor.hpp"

#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>

namespace Platform {

// Reachability from the kernel's routing events plus a connect probe: every
// change of links, addresses or routes (netlink) triggers a TCP connect to the
// host; an accepted connection means the service answered (`reachable`),
// anything else (refused, no route, no name, no answer in time) means
// `notReachable`. While not reachable the probe is repeated now and then, so a
// host that comes back without any route change is noticed too.
//
// Threading and lifetime as `ReachabilityMonitor` states. The destructor stops
// the monitor; it must not run inside the monitor's own handler.
class NetlinkReachabilityMonitor final : public ReachabilityMonitor {
public:
    struct Options {
        // Host name or numeric address to watch.
        std::string host {};
        // Port the probe connects to.
        std::uint16_t port = 443;
        // How long one probe waits for a connection.
        std::chrono::milliseconds probeTimeout { 3000 };
        // How often the probe is repeated while the host is not reachable.
        std::chrono::milliseconds recheckInterval { 30000 };
    };

    enum class Error { missingHost, cannotStartThread };

    // Probes once, synchronously, so `status()` is meaningful at once.
    [[nodiscard]] static std::expected<std::unique_ptr<NetlinkReachabilityMonitor>, Error> create(Options options);
    ~NetlinkReachabilityMonitor() override;

    [[nodiscard]] HostReachability status() const override;
    void start(Handler handler) override;
    void stop() override;
    [[nodiscard]] bool isRunning() const override;

    // Assesses again soon, as if the routes had changed (for instance after a
    // request failed for want of a connection).
    void recheck();

    // One connect probe, on the calling thread.
    [[nodiscard]] static HostReachability probe(const std::string& host, std::uint16_t port,
        std::chrono::milliseconds timeout, int cancelDescriptor = -1);

    struct State;

private:
    explicit NetlinkReachabilityMonitor(std::shared_ptr<State> state);
    std::shared_ptr<State> m_state;
};

} // namespace Platform
