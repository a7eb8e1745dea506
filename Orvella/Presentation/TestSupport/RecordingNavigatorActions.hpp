#pragma once

#include "Orvella/Presentation/NavigatorActions.hpp"

#include <string>
#include <utility>
#include <vector>

namespace Orvella {

// Records each navigator action by name, with its sender.
class RecordingNavigatorActions final : public NavigatorActions {
public:
    std::vector<std::pair<std::string, QObject*>> calls;

    void openCloudFolder(QObject* sender) override { calls.emplace_back("openCloudFolder", sender); }
    void openHelpURL(QObject* sender) override { calls.emplace_back("openHelpURL", sender); }
    void openContactURL(QObject* sender) override { calls.emplace_back("openContactURL", sender); }
    void openImprintURL(QObject* sender) override { calls.emplace_back("openImprintURL", sender); }
    void openDataProtectionURL(QObject* sender) override { calls.emplace_back("openDataProtectionURL", sender); }
    void openPasswordForgottenURL(QObject* sender) override { calls.emplace_back("openPasswordForgottenURL", sender); }
    void openRegistration(QObject* sender) override { calls.emplace_back("openRegistration", sender); }
    void openHomePageURL(QObject* sender) override { calls.emplace_back("openHomePageURL", sender); }
    void showPreferencesWindow(QObject* sender) override { calls.emplace_back("showPreferencesWindow", sender); }
    void showLoginWindow(QObject* sender) override { calls.emplace_back("showLoginWindow", sender); }
    void checkForUpdates(QObject* sender) override { calls.emplace_back("checkForUpdates", sender); }
    void showProxyPreferences(QObject* sender) override { calls.emplace_back("showProxyPreferences", sender); }
    void showDebugPreferences(QObject* sender) override { calls.emplace_back("showDebugPreferences", sender); }
    void logout(QObject* sender) override { calls.emplace_back("logout", sender); }
};

} // namespace Orvella
