#pragma once

#include "Reactive/Schedulers/MainLoop.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <atomic>
#include <memory>

namespace Reactive {

// Runs work on the main thread: at once when called on the main thread with
// no earlier work of this scheduler still waiting, otherwise posted to the
// main loop. Order of work scheduled through one `UIScheduler` is kept.
class UIScheduler final : public Scheduler {
public:
    explicit UIScheduler(std::shared_ptr<MainLoop> loop = MainLoop::main());
    static std::shared_ptr<UIScheduler> make(std::shared_ptr<MainLoop> loop = MainLoop::main());

    AnyDisposable schedule(std::function<void()> action, std::source_location location = std::source_location::current()) override;

private:
    std::shared_ptr<MainLoop> m_loop;
    std::shared_ptr<std::atomic<int>> m_queued;
};

// The main thread as a `DateScheduler`: work is always posted (never run
// inline), timers run on the main loop.
class MainQueueScheduler final : public DateScheduler {
public:
    explicit MainQueueScheduler(std::shared_ptr<MainLoop> loop = MainLoop::main());
    static std::shared_ptr<MainQueueScheduler> make(std::shared_ptr<MainLoop> loop = MainLoop::main());

    using DateScheduler::schedule;
    TimePoint currentDate() const override { return m_loop->now(); }
    AnyDisposable schedule(std::function<void()> action, std::source_location location = std::source_location::current()) override;
    AnyDisposable schedule(TimePoint date, std::function<void()> action, std::source_location location = std::source_location::current()) override;
    AnyDisposable schedule(TimePoint date, Duration interval, std::function<void()> action,
        std::source_location location = std::source_location::current()) override;

private:
    std::shared_ptr<MainLoop> m_loop;
};

}
