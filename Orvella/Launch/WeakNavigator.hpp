#pragma once

#include "Orvella/UI/Navigator/Navigator.hpp"

#include <memory>

namespace Orvella {

// The navigator as the windows and the popover it owns hold it: weakly, so
// that the navigator, its windows and their controllers do not keep each
// other alive. Once the navigator is gone, every action does nothing.
class WeakNavigator final : public NavigatorActions, public PopoverNavigator {
public:
    explicit WeakNavigator(const std::shared_ptr<Navigator>& navigator) : m_navigator(navigator) {}

    void openCloudFolder(QObject* sender) override { forward(&Navigator::openCloudFolder, sender); }
    void openHelpURL(QObject* sender) override { forward(&Navigator::openHelpURL, sender); }
    void openContactURL(QObject* sender) override { forward(&Navigator::openContactURL, sender); }
    void openImprintURL(QObject* sender) override { forward(&Navigator::openImprintURL, sender); }
    void openDataProtectionURL(QObject* sender) override { forward(&Navigator::openDataProtectionURL, sender); }
    void openPasswordForgottenURL(QObject* sender) override { forward(&Navigator::openPasswordForgottenURL, sender); }
    void openRegistration(QObject* sender) override { forward(&Navigator::openRegistration, sender); }
    void openHomePageURL(QObject* sender) override { forward(&Navigator::openHomePageURL, sender); }
    void showPreferencesWindow(QObject* sender) override { forward(&Navigator::showPreferencesWindow, sender); }
    void showLoginWindow(QObject* sender) override { forward(&Navigator::showLoginWindow, sender); }
    void checkForUpdates(QObject* sender) override { forward(&Navigator::checkForUpdates, sender); }
    void showProxyPreferences(QObject* sender) override { forward(&Navigator::showProxyPreferences, sender); }
    void showDebugPreferences(QObject* sender) override { forward(&Navigator::showDebugPreferences, sender); }
    void logout(QObject* sender) override { forward(&Navigator::logout, sender); }

    void revealInFinder(const Sync::File& file) override
    {
        if (auto navigator = m_navigator.lock())
            navigator->revealInFinder(file);
    }

private:
    void forward(void (Navigator::*action)(QObject*), QObject* sender) const
    {
        if (auto navigator = m_navigator.lock())
            ((*navigator).*action)(sender);
    }

    std::weak_ptr<Navigator> m_navigator;
};

} // namespace Orvella
