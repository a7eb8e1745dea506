#pragma once
// The ordered work list behind the timed schedulers.

#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <source_location>
#include <vector>

namespace Reactive::Detail {

// Work ordered by date, then by the order it was added. Not thread-safe:
// its owner locks around every call.
class TimedQueue {
public:
    using TimePoint = DateScheduler::TimePoint;
    using Duration = DateScheduler::Duration;

    struct Item {
        TimePoint date;
        std::uint64_t sequence;
        Duration interval; // Zero for work that runs once.
        std::function<void()> action;
        std::shared_ptr<DisposableState> cancellation;
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
    void clear() { m_items.clear(); }

private:
    void dropCancelledFront();

    std::uint64_t m_nextSequence = 0;
    std::vector<Item> m_items; // A min-heap on (date, sequence).
};

}
