#pragma once

#include "Reactive/Schedulers/MainLoop.hpp"
#include "Reactive/Schedulers/TimedQueue.hpp"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace Reactive {

// A main loop that runs its work only when pumped, on the thread that made
// it (its main thread). For tests and for programs without a toolkit.
// Threading: `post` from any thread; pumping only on the main thread.
class PumpableMainLoop final : public MainLoop {
public:
    using Duration = DateScheduler::Duration;

    PumpableMainLoop();

    void post(std::function<void()> work) override;
    void post(TimePoint date, std::function<void()> work) override;
    bool isMainThread() const override { return std::this_thread::get_id() == m_mainThread; }

    // Runs all work that is due, including work posted while pumping.
    // Returns how many items ran.
    std::size_t pump();

    // Pumps until `condition` holds or `deadline` passes, sleeping while no
    // work is due. Returns whether the condition held.
    bool pumpUntil(const std::function<bool()>& condition, TimePoint deadline);
    bool pumpUntil(const std::function<bool()>& condition, Duration timeout)
    {
        return pumpUntil(condition, now() + timeout);
    }

private:
    std::thread::id m_mainThread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    Detail::TimedQueue m_queue;
};

}
