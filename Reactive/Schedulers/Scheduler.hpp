#pragma once
// Schedulers: where and when work runs.

#include "Reactive/Disposables/AnyDisposable.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <source_location>

namespace Reactive {

// Runs work somewhere. Contract of every scheduler of this library: work
// scheduled from one thread runs in the order it was scheduled; scheduling
// happens-before the work runs; disposing the returned handle before the
// work has started keeps it from starting (work already running finishes).
// `location` names the caller in logs.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    virtual AnyDisposable schedule(std::function<void()> action,
        std::source_location location = std::source_location::current()) = 0;
};

// A scheduler that also knows the time and runs work at a time.
// Time is monotonic (`steady_clock`); `TestScheduler` keeps virtual time in the same type.
class DateScheduler : public Scheduler {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Duration = std::chrono::nanoseconds;

    using Scheduler::schedule;

    virtual TimePoint currentDate() const = 0;

    // Runs `action` once, at `date` or as soon as possible after it.
    virtual AnyDisposable schedule(TimePoint date, std::function<void()> action,
        std::source_location location = std::source_location::current()) = 0;

    // Runs `action` at `date` and then every `interval` until disposed.
    // Precondition: `interval` is positive.
    virtual AnyDisposable schedule(TimePoint date, Duration interval, std::function<void()> action,
        std::source_location location = std::source_location::current()) = 0;
};

using SchedulerPtr = std::shared_ptr<Scheduler>;
using DateSchedulerPtr = std::shared_ptr<DateScheduler>;

}
