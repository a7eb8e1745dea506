#pragma once
// The ordered work list behind the timed schedulers.

#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <source_location>
#include <vector>

namespace Reactive::Detail {

// Scheduled work that can be cancelled. Cancelling releases the work (and
// everything it captured) at once, not when its date comes.
class ScheduledAction final : public DisposableState {
public:
    explicit ScheduledAction(std::function<void()> action);
    void dispose() override;
    bool isDisposed() const override;
    // Runs the work unless it was cancelled. Thread-safe.
    void run();

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<std::function<void()>> m_action;
};

// Work ordered by date, then by the order it was added. Not thread-safe:
// its owner locks around every call.
class TimedQueue {
public:
    using TimePoint = DateScheduler::TimePoint;
    using Duration = DateScheduler::Duration;

    TimedQueue() = default;
    TimedQueue(TimedQueue&&) = default;
    TimedQueue& operator=(TimedQueue&&) = default;
    // Work still waiting when its scheduler goes away is cancelled, which
    // releases what it captured.
    ~TimedQueue() { clear(); }

    struct Item {
        TimePoint date;
        std::uint64_t sequence;
        Duration interval; // Zero for work that runs once.
        std::shared_ptr<ScheduledAction> action;
        std::source_location location;
    };

    // Adds work; the returned handle keeps it from running.
    AnyDisposable push(TimePoint date, Duration interval, std::function<void()> action, std::source_location location);
    // Puts a repeating item back, one interval later.
    void repeat(Item&& item);

    // Removes and returns the earliest live item due at `now`; drops cancelled ones on the way.
    std::optional<Item> popDue(TimePoint now);
    // The date of the earliest live item.
    std::optional<TimePoint> nextDate();
    // How many live items are waiting.
    std::size_t liveCount() const;
    void clear();

private:
    void dropCancelledFront();

    std::uint64_t m_nextSequence = 0;
    std::vector<Item> m_items; // A min-heap on (date, sequence).
};

}
