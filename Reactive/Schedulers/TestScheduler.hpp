#pragma once

#include "Reactive/Schedulers/Scheduler.hpp"
#include "Reactive/Schedulers/TimedQueue.hpp"

#include <mutex>

namespace Reactive {

// A scheduler in virtual time for tests. Nothing runs until the test
// advances the clock; work then runs on the advancing thread, in date
// order, and the clock reads each item's date while it runs.
// Threading: `schedule` from any thread; advance from one thread at a time.
class TestScheduler final : public DateScheduler {
public:
    // Virtual time starts at `start`.
    explicit TestScheduler(TimePoint start = TimePoint());

    using DateScheduler::schedule;
    TimePoint currentDate() const override;
    AnyDisposable schedule(std::function<void()> action, std::source_location location = std::source_location::current()) override;
    AnyDisposable schedule(TimePoint date, std::function<void()> action, std::source_location location = std::source_location::current()) override;
    AnyDisposable schedule(TimePoint date, Duration interval, std::function<void()> action,
        std::source_location location = std::source_location::current()) override;

    // Runs the work due now.
    void advance() { advance(Duration::zero()); }
    // Moves the clock forward by `interval`, running everything due on the way.
    void advance(Duration interval);
    void advanceTo(TimePoint date);
    // Runs until no work is left. Never returns while a repeating timer is live.
    void run();

    // How many scheduled items are waiting (disposed ones not counted).
    std::size_t pendingCount() const;

private:
    mutable std::mutex m_mutex;
    TimePoint m_now;
    Detail::TimedQueue m_queue;
};

}
