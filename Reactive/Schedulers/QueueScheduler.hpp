#pragma once

#include "Reactive/Schedulers/Scheduler.hpp"

#include <memory>
#include <string>
#include <thread>

namespace Reactive {

// A serial scheduler with its own thread: work runs one item at a time, in
// date order (work scheduled for the same date in the order scheduled).
// Repeating timers keep their rhythm from the first date (a late tick does
// not shift the later ones). Destroying the scheduler stops its thread after
// the item that is running; work still waiting is dropped unrun.
// Threading: every member may be called from any thread, also from work
// running on the scheduler itself.
class QueueScheduler final : public DateScheduler {
public:
    static constexpr const char* defaultName = "Reactive.QueueScheduler";

    explicit QueueScheduler(std::string name = defaultName);
    ~QueueScheduler() override;
    QueueScheduler(const QueueScheduler&) = delete;
    QueueScheduler& operator=(const QueueScheduler&) = delete;

    static std::shared_ptr<QueueScheduler> make(std::string name = defaultName);

    const std::string& name() const { return m_name; }
    // Whether the calling thread is this scheduler's thread.
    bool isCurrent() const;

    using DateScheduler::schedule;
    TimePoint currentDate() const override { return Clock::now(); }
    AnyDisposable schedule(std::function<void()> action, std::source_location location = std::source_location::current()) override;
    AnyDisposable schedule(TimePoint date, std::function<void()> action, std::source_location location = std::source_location::current()) override;
    AnyDisposable schedule(TimePoint date, Duration interval, std::function<void()> action,
        std::source_location location = std::source_location::current()) override;

private:
    struct State;
    std::string m_name;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

}
