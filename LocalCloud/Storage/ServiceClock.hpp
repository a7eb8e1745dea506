#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace LocalCloud {

// The service's two clocks, given to it at construction so that a test can
// move time on instead of waiting for it. The wall clock is for what the
// service stamps and compares with times it has handed out (creation,
// modification and change times, deletions, the ends of public links, every
// answer's "Date"); the steady clock for how long ago something happened
// (session ages, login delays), which a change of the system time must not
// shorten. How fast the service sends and how long it waits for a client
// stay on real time: they pace sockets, not the service's records.
struct ServiceClock {
    std::function<std::chrono::system_clock::time_point()> wall;
    std::function<std::chrono::steady_clock::time_point()> steady;

    // The wall clock in whole seconds since 1970, as the records keep times.
    [[nodiscard]] std::int64_t seconds() const
    {
        return std::chrono::duration_cast<std::chrono::seconds>(wall().time_since_epoch()).count();
    }

    [[nodiscard]] static ServiceClock system()
    {
        return { [] { return std::chrono::system_clock::now(); }, [] { return std::chrono::steady_clock::now(); } };
    }
};

} // namespace LocalCloud
