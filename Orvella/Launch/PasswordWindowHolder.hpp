#pragma once

#include "Orvella/SessionRefresher/PasswordWindowNavigator.hpp"
#include "Orvella/UI/Password/RequestPasswordWindowController.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"
#include "Reactive/Disposables/ScopedDisposable.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <functional>
#include <memory>

namespace Orvella {

// The password window as the session refresher sees it, over its window
// controller: a successful login or logout in it, and its close.
class RequestPasswordWindow final : public PasswordWindow {
public:
    explicit RequestPasswordWindow(std::shared_ptr<RequestPasswordWindowController> controller,
        Platform::NotificationCenter& center = Platform::NotificationCenter::defaultCenter());
    ~RequestPasswordWindow() override;

    void showWindow() override;
    void close() override;
    [[nodiscard]] Reactive::Signal<Reactive::Unit, Reactive::NoError> loginCompleted() const override;
    [[nodiscard]] Reactive::Signal<Reactive::Unit, Reactive::NoError> logoutCompleted() const override;
    [[nodiscard]] Reactive::Signal<Reactive::Unit, Reactive::NoError> closed() const override;

    [[nodiscard]] const std::shared_ptr<RequestPasswordWindowController>& controller() const { return m_controller; }

private:
    std::shared_ptr<RequestPasswordWindowController> m_controller;
    std::pair<Reactive::Signal<Reactive::Unit, Reactive::NoError>, Reactive::Observer<Reactive::Unit, Reactive::NoError>> m_closed;
    Platform::NotificationCenter::Registration m_observer;
};

// Keeps the one password window the session refresher shows, and forgets it
// when it closes, so the next rejected session gets a fresh one.
class PasswordWindowHolder final : public PasswordWindowNavigator, public std::enable_shared_from_this<PasswordWindowHolder> {
public:
    using MakeWindow = std::function<std::expected<std::shared_ptr<PasswordWindow>, Reactive::AnyError>()>;

    // The closed window is let go on `later`, after its close has been delivered.
    PasswordWindowHolder(MakeWindow makeWindow, std::function<void()> activate, Reactive::SchedulerPtr later);

    [[nodiscard]] std::shared_ptr<PasswordWindow> heldPasswordWindow() override { return m_held; }
    [[nodiscard]] std::expected<std::shared_ptr<PasswordWindow>, Reactive::AnyError> makePasswordWindow() override;
    void holdPasswordWindow(std::shared_ptr<PasswordWindow> window) override;
    void activateApplication() override;

private:
    MakeWindow m_makeWindow;
    std::function<void()> m_activate;
    Reactive::SchedulerPtr m_later;
    std::shared_ptr<PasswordWindow> m_held;
    Reactive::ScopedDisposable m_heldClosed;
};

} // namespace Orvella
