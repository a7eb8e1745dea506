#pragma once

#include "Reactive/Schedulers/Scheduler.hpp"

#include <functional>
#include <memory>

namespace Reactive {

// The application's main event loop, as the UI schedulers see it. The
// application plugs in its toolkit's loop; tests use `PumpableMainLoop`.
// Contract for implementations: posted work runs on the main thread, work
// posted for the same date in the order posted; `post` may be called from any thread.
class MainLoop {
public:
    using TimePoint = DateScheduler::TimePoint;

    virtual ~MainLoop() = default;

    // Runs `work` on the main thread, after the work posted before it.
    virtual void post(std::function<void()> work) = 0;
    // Runs `work` on the main thread at `date` or as soon as possible after it.
    virtual void post(TimePoint date, std::function<void()> work) = 0;
    virtual bool isMainThread() const = 0;
    virtual TimePoint now() const { return DateScheduler::Clock::now(); }

    // The loop the UI schedulers use by default: the installed one, or else a
    // `PumpableMainLoop` whose main thread is the thread that first asked.
    static std::shared_ptr<MainLoop> main();
    // Installs the process's main loop; call it before the first UI scheduler is made.
    static void setMain(std::shared_ptr<MainLoop> loop);
};

}
