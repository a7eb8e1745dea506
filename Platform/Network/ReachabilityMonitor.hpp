#pragma once

#include <functional>

namespace Platform {

// Whether the network path to a host is usable. Only used in memory.
enum class HostReachability { notReachable, reachable };

// Watches whether one host can be reached. An interface so that tests can
// replace the real network with a scripted one.
//
// Contract for implementations: the handler runs on the monitor's own thread,
// one call at a time, never with a lock held, once for every assessment
// (repeats included); after `stop()` returns it never runs again. `status()`
// may be read from any thread. `start` and `stop` are called from one thread
// at a time; a second `start` while running is a no-op.
class ReachabilityMonitor {
public:
    using Handler = std::function<void(HostReachability)>;

    virtual ~ReachabilityMonitor() = default;

    [[nodiscard]] virtual HostReachability status() const = 0;
    virtual void start(Handler handler) = 0;
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isRunning() const = 0;
};

} // namespace Platform
