#pragma once
// Orvella/Windows: the on-demand owners of the application's windows (login,
// password re-entry, preferences) and of the tray icon's popover.

#include "Platform/Foundation/NotificationCenter.hpp"

#include <concepts>
#include <functional>
#include <memory>
#include <string_view>

namespace Orvella {

// Posted by a window that is about to close, with the window as sender.
inline constexpr std::string_view windowWillCloseNotification = "WindowWillCloseNotification";

// A window controller as the visibility controller drives it: it shows its
// window (made on first use), closes it, and names the window that its close
// notification carries as sender (null while it has none).
template<class T>
concept WindowControlling = requires(T& controller, const T& constController) {
    controller.showWindow();
    controller.close();
    { constController.window() } -> std::convertible_to<const void*>;
};

// Owns one kind of window controller: builds it when its window is first
// wanted, brings it to the front on request, and lets it go whenever its
// window closes, so that the next `show()` builds a fresh one. The close
// notification is observed for the controller's whole life, not only for
// the first window. Main thread only; not copyable or movable (the
// observation points at it).
template<WindowControlling T>
class WindowVisibilityController {
public:
    using CreateController = std::function<std::shared_ptr<T>()>;
    // Brings the application to the front, ignoring other applications.
    using Activate = std::function<void()>;

    explicit WindowVisibilityController(CreateController createController, Activate activate = {},
        Platform::NotificationCenter& center = Platform::NotificationCenter::defaultCenter())
        : m_createController(std::move(createController))
        , m_activate(std::move(activate))
    {
        m_observer = center.addObserver(std::string(windowWillCloseNotification), nullptr,
            [this](const Platform::Notification& notification) { windowWillClose(notification); });
    }
    WindowVisibilityController(const WindowVisibilityController&) = delete;
    WindowVisibilityController& operator=(const WindowVisibilityController&) = delete;

    // The stored controller, or one made now; its window shown and the application activated.
    void show()
    {
        auto controller = m_windowController ? m_windowController : m_createController();
        controller->showWindow();
        if (m_activate) {
            m_activate();
        }
        m_windowController = std::move(controller);
    }

    // Closes the stored controller's window; the controller goes when the close notification comes.
    void hide()
    {
        if (m_windowController) {
            m_windowController->close();
        }
    }

    // `hide()` when a controller is stored, else `show()`.
    void toggle()
    {
        if (m_windowController) {
            hide();
        } else {
            show();
        }
    }

    [[nodiscard]] const std::shared_ptr<T>& windowController() const { return m_windowController; }

private:
    void windowWillClose(const Platform::Notification& notification)
    {
        if (!m_windowController || notification.sender == nullptr) {
            return;
        }
        const void* window = m_windowController->window();
        if (window != nullptr && window == notification.sender) {
            m_windowController.reset();
        }
    }

    CreateController m_createController;
    Activate m_activate;
    std::shared_ptr<T> m_windowController;
    Platform::NotificationCenter::Registration m_observer;
};

} // namespace Orvella
