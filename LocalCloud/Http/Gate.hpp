#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace LocalCloud {

// Holds requests of one route inside the server until a test lets them go.
// Every member may be called from any thread.
class Gate {
public:
    // Lets `count` requests through: held ones first, then future ones.
    void release(std::size_t count = 1);
    // Lets every held and every future request through.
    void open();

    // Requests currently held.
    [[nodiscard]] std::size_t waitingCount() const;
    // Waits until at least `count` requests are held; false on time-out.
    [[nodiscard]] bool waitForWaiting(std::size_t count, std::chrono::milliseconds timeout) const;

    // Server side: blocks the calling request until it may pass.
    void pass();

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::size_t m_waiting = 0;
    std::size_t m_permits = 0;
    bool m_open = false;
};

} // namespace LocalCloud
