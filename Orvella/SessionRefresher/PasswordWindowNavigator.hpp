#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/Signal.hpp"

#include <expected>
#include <memory>

namespace Orvella {

// The password window as the session refresher needs it: shown, raised and
// closed, and what its view model reports. Served by the windows' controller.
//
// Threading: every member is called on the main thread; the signals send there.
class PasswordWindow {
public:
    virtual ~PasswordWindow() = default;

    virtual void showWindow() = 0;
    virtual void close() = 0;
    // Each successful login in the window (failed attempts send nothing).
    [[nodiscard]] virtual Reactive::Signal<Reactive::Unit, Reactive::NoError> loginCompleted() const = 0;
    // Each successful logout from the window.
    [[nodiscard]] virtual Reactive::Signal<Reactive::Unit, Reactive::NoError> logoutCompleted() const = 0;
    // The window was closed by the user or by `close`.
    [[nodiscard]] virtual Reactive::Signal<Reactive::Unit, Reactive::NoError> closed() const = 0;
};

// Where the refresher finds the password window: the navigator's holder of
// it (the window it holds, or a new one from its factory) and the desktop's
// front. Served by the `Navigator`.
//
// Threading: main thread only.
class PasswordWindowNavigator {
public:
    virtual ~PasswordWindowNavigator() = default;

    // The window the holder keeps; null when it holds none (the holder
    // forgets a window when it closes).
    [[nodiscard]] virtual std::shared_ptr<PasswordWindow> heldPasswordWindow() = 0;
    // A new window from the holder's factory; fails when the container cannot build one.
    [[nodiscard]] virtual std::expected<std::shared_ptr<PasswordWindow>, Reactive::AnyError> makePasswordWindow() = 0;
    virtual void holdPasswordWindow(std::shared_ptr<PasswordWindow> window) = 0;
    // Brings the application in front of the others.
    virtual void activateApplication() = 0;
};

} // namespace Orvella
