#pragma once

#include "Reactive/Schedulers/Scheduler.hpp"

namespace Reactive {

// Runs work at once, on the calling thread, before `schedule` returns.
class ImmediateScheduler final : public Scheduler {
public:
    static std::shared_ptr<ImmediateScheduler> shared();

    AnyDisposable schedule(std::function<void()> action,
        std::source_location location = std::source_location::current()) override;
};

}
