#pragma once
// Orvella/UI/Presentation: what every screen of the tray application shares:
// the Qt main loop behind the UI schedulers, the bindings of view-model
// properties to widgets, the named images, and the Qt side of the seams to the
// desktop (workspace, pasteboard, alerts), which Orvella/Presentation declares.

#include "Reactive/Schedulers/MainLoop.hpp"

#include <memory>

namespace Orvella {

// The application's `Reactive::MainLoop` over Qt's event loop. Work is kept in
// date order, then in the order posted, and run by a main-thread object: a
// queued call wakes it for work that is due, one single-shot `QTimer` for the
// earliest later date. Work posted from any thread runs on the thread that
// made the loop (the GUI thread), only while Qt's event loop runs.
// Make it on the GUI thread after the `QApplication`; destroy it there too.
// Work still waiting when it is destroyed is dropped.
class QtMainLoop final : public Reactive::MainLoop {
public:
    QtMainLoop();
    ~QtMainLoop() override;
    QtMainLoop(const QtMainLoop&) = delete;
    QtMainLoop& operator=(const QtMainLoop&) = delete;

    void post(std::function<void()> work) override;
    void post(TimePoint date, std::function<void()> work) override;
    bool isMainThread() const override;

    // Makes a loop and installs it as `Reactive::MainLoop::main()`.
    static std::shared_ptr<QtMainLoop> install();

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace Orvella
