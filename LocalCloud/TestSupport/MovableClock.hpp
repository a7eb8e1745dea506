#pragma once

#include "LocalCloud/Storage/ServiceClock.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace LocalCloud::Testing {

// A clock for the service that stands still until the test moves it on: both
// readings move together, so a test passes an hour without waiting for it.
// Copies share one time; every member may be called from any thread.
class MovableClock {
public:
    // The wall reading starts at `wallStart`, the steady one at the real steady time.
    explicit MovableClock(std::chrono::system_clock::time_point wallStart = std::chrono::system_clock::now())
        : m_wallStart(std::chrono::time_point_cast<std::chrono::seconds>(wallStart))
    {
    }

    void advance(std::chrono::nanoseconds by) const { *m_offset += by.count(); }

    [[nodiscard]] std::chrono::system_clock::time_point wall() const
    {
        return m_wallStart + std::chrono::duration_cast<std::chrono::system_clock::duration>(offset());
    }
    // The wall reading in whole seconds since 1970, as the service's records keep it.
    [[nodiscard]] std::int64_t seconds() const
    {
        return std::chrono::duration_cast<std::chrono::seconds>(wall().time_since_epoch()).count();
    }

    [[nodiscard]] ServiceClock serviceClock() const
    {
        auto offset = m_offset;
        auto wallStart = m_wallStart;
        auto steadyStart = m_steadyStart;
        return { [offset, wallStart] {
                    return wallStart + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                               std::chrono::nanoseconds(offset->load()));
                },
            [offset, steadyStart] { return steadyStart + std::chrono::nanoseconds(offset->load()); } };
    }

private:
    [[nodiscard]] std::chrono::nanoseconds offset() const { return std::chrono::nanoseconds(m_offset->load()); }

    std::shared_ptr<std::atomic<std::int64_t>> m_offset = std::make_shared<std::atomic<std::int64_t>>(0);
    std::chrono::system_clock::time_point m_wallStart;
    std::chrono::steady_clock::time_point m_steadyStart = std::chrono::steady_clock::now();
};

} // namespace LocalCloud::Testing
