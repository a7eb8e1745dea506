#pragma once

class QObject;

namespace Orvella {

// What buttons and menu items of every window may ask of the navigator, the
// one object that opens things. Each action takes the control that sent it
// (a widget or a menu action; null when there is none), which some actions
// look at (a sender inside the login window closes that window first).
// Main thread only.
class NavigatorActions {
public:
    virtual ~NavigatorActions() = default;

    virtual void openCloudFolder(QObject* sender) = 0;
    virtual void openHelpURL(QObject* sender) = 0;
    virtual void openContactURL(QObject* sender) = 0;
    virtual void openImprintURL(QObject* sender) = 0;
    virtual void openDataProtectionURL(QObject* sender) = 0;
    virtual void openPasswordForgottenURL(QObject* sender) = 0;
    virtual void openRegistration(QObject* sender) = 0;
    virtual void openHomePageURL(QObject* sender) = 0;
    virtual void showPreferencesWindow(QObject* sender) = 0;
    virtual void showLoginWindow(QObject* sender) = 0;
    virtual void checkForUpdates(QObject* sender) = 0;
    virtual void showProxyPreferences(QObject* sender) = 0;
    virtual void showDebugPreferences(QObject* sender) = 0;
    virtual void logout(QObject* sender) = 0;
};

} // namespace Orvella
