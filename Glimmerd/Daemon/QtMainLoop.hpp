#pragma once

// Glimmerd/Daemon: the glimmerd program: its event loop, its one-instance
// lock, and the wiring of the extension to the host.

#include "Reactive/Schedulers/MainLoop.hpp"

namespace Glimmerd {

// The main loop of a running QCoreApplication, for Reactive's main-thread
// schedulers. Work posted for a date runs from a timer of the main thread.
// Threading: create on the main thread after the QCoreApplication; post from any thread.
class QtMainLoop final : public Reactive::MainLoop {
public:
    void post(std::function<void()> work) override;
    void post(TimePoint date, std::function<void()> work) override;
    [[nodiscard]] bool isMainThread() const override;
};

} // namespace Glimmerd
