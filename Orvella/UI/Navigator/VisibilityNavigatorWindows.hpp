#pragma once

#include "Orvella/UI/Navigator/NavigatorWindows.hpp"
#include "Orvella/Windows/PopoverVisibilityController.hpp"
#include "Orvella/Windows/WindowVisibilityController.hpp"

#include <functional>
#include <memory>

class QWidget;

namespace Orvella {

// The navigator's windows over their visibility controllers: the login and
// preferences window controllers are made when first wanted and go when
// their window closes; the popover is the status item's.
template<WindowControlling Login, WindowControlling Preferences>
    requires requires(Preferences& preferences, QWidget* sheet) { preferences.presentSheet(sheet); }
class VisibilityNavigatorWindows final : public NavigatorWindows {
public:
    struct Factories {
        std::function<std::shared_ptr<Login>()> login;
        std::function<std::shared_ptr<Preferences>()> preferences;
        // The content of a preferences sheet (freed by the sheet when it closes).
        std::function<QWidget*(PreferencesSheet)> sheet;
        std::shared_ptr<PopoverVisibilityController> popover;
        std::function<void()> activate;
    };

    explicit VisibilityNavigatorWindows(Factories factories)
        : m_factories(std::move(factories))
        , m_login(m_factories.login, m_factories.activate)
        , m_preferences(m_factories.preferences, m_factories.activate)
    {
    }

    void showLoginWindow() override { m_login.show(); }
    void hideLoginWindow() override { m_login.hide(); }
    const void* loginWindow() const override
    {
        const auto& controller = m_login.windowController();
        return controller ? controller->window() : nullptr;
    }
    void showPreferencesWindow() override { m_preferences.show(); }
    void presentPreferencesSheet(PreferencesSheet sheet) override
    {
        const auto& controller = m_preferences.windowController();
        if (controller && controller->window() != nullptr && m_factories.sheet) {
            controller->presentSheet(m_factories.sheet(sheet));
        }
    }
    void togglePopover(const std::any& sender) override
    {
        if (m_factories.popover) {
            m_factories.popover->toggle(sender);
        }
    }
    void showPopover(const std::any& sender) override
    {
        if (m_factories.popover && !m_factories.popover->popover().isShown()) {
            m_factories.popover->show(sender);
        }
    }
    void activate() override
    {
        if (m_factories.activate) {
            m_factories.activate();
        }
    }

    [[nodiscard]] WindowVisibilityController<Login>& loginWindowController() { return m_login; }

private:
    Factories m_factories;
    WindowVisibilityController<Login> m_login;
    WindowVisibilityController<Preferences> m_preferences;
};

} // namespace Orvella
