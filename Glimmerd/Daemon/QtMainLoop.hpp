#pragma once

// Glimmerd/Daemon: the glimmerd program: its event loop, its one-instance
// lock, and the wiring of the extension to the host.

#include "Reactive/Schedulers/MainLoop.hpp"

#include <deque>
#include <memory>
#include <mutex>

class QSocketNotifier;

namespace Glimmerd {

// The main loop of a running QCoreApplication, for Reactive's main-thread
// schedulers. Work posted from any thread waits in a queue of its own and an
// eventfd wakes the main thread, which runs it in the order posted; work
// for a date runs from a timer of the main thread. (Handing work over
// through Qt's own cross-thread events would work too, but its locking is
// invisible to ThreadSanitizer.)
// Threading: create and destroy on the main thread after the QCoreApplication;
// post from any thread while it lives.
class QtMainLoop final : public Reactive::MainLoop {
public:
    QtMainLoop();
    ~QtMainLoop() override;
    QtMainLoop(const QtMainLoop&) = delete;
    QtMainLoop& operator=(const QtMainLoop&) = delete;

    void post(std::function<void()> work) override;
    void post(TimePoint date, std::function<void()> work) override;
    [[nodiscard]] bool isMainThread() const override;

private:
    void runPosted();

    int m_wakeDescriptor = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_posted;
};

} // namespace Glimmerd
