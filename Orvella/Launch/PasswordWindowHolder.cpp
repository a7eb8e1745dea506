#include "Orvella/Launch/PasswordWindowHolder.hpp"

#include "Orvella/Windows/WindowVisibilityController.hpp"

namespace Orvella {

RequestPasswordWindow::RequestPasswordWindow(std::shared_ptr<RequestPasswordWindowController> controller, Platform::NotificationCenter& center)
    : m_controller(std::move(controller))
    , m_closed(Reactive::Signal<Reactive::Unit, Reactive::NoError>::pipe())
{
    // The window is made on first use, so the sender is compared when the close comes.
    m_observer = center.addObserver(std::string(windowWillCloseNotification), nullptr,
        [this](const Platform::Notification& notification) {
            if (notification.sender != nullptr && notification.sender == m_controller->window())
                m_closed.second.send(Reactive::Unit {});
        });
}

RequestPasswordWindow::~RequestPasswordWindow()
{
    m_observer = {};
    m_closed.second.sendCompleted();
}

void RequestPasswordWindow::showWindow()
{
    m_controller->showWindow();
}

void RequestPasswordWindow::close()
{
    m_controller->close();
}

Reactive::Signal<Reactive::Unit, Reactive::NoError> RequestPasswordWindow::loginCompleted() const
{
    return m_controller->viewModel()->loginAction().values();
}

Reactive::Signal<Reactive::Unit, Reactive::NoError> RequestPasswordWindow::logoutCompleted() const
{
    return m_controller->viewModel()->logoutAction().values();
}

Reactive::Signal<Reactive::Unit, Reactive::NoError> RequestPasswordWindow::closed() const
{
    return m_closed.first;
}

PasswordWindowHolder::PasswordWindowHolder(MakeWindow makeWindow, std::function<void()> activate, Reactive::SchedulerPtr later)
    : m_makeWindow(std::move(makeWindow))
    , m_activate(std::move(activate))
    , m_later(std::move(later))
{
}

std::expected<std::shared_ptr<PasswordWindow>, Reactive::AnyError> PasswordWindowHolder::makePasswordWindow()
{
    return m_makeWindow();
}

void PasswordWindowHolder::holdPasswordWindow(std::shared_ptr<PasswordWindow> window)
{
    m_heldClosed = {};
    m_held = std::move(window);
    if (!m_held)
        return;
    std::weak_ptr<PasswordWindowHolder> weakSelf = weak_from_this();
    const PasswordWindow* held = m_held.get();
    // Let go later: the close is still being delivered by the window's own signal.
    m_heldClosed = Reactive::ScopedDisposable(m_held->closed().observeValues([weakSelf, held, later = m_later](const Reactive::Unit&) {
        later->schedule([weakSelf, held] {
            auto self = weakSelf.lock();
            if (self && self->m_held.get() == held) {
                self->m_heldClosed = {};
                self->m_held.reset();
            }
        });
    }));
}

void PasswordWindowHolder::activateApplication()
{
    if (m_activate)
        m_activate();
}

} // namespace Orvella
