#pragma once

#include <QString>
#include <QStyle>

#include <functional>
#include <string>
#include <vector>

class QObject;
class QWidget;

namespace Orvella {

// One pane of the preferences window's toolbar.
struct PreferencesItem {
    std::string identifier;
    // A theme icon, with a style icon where the theme has none.
    QString toolbarImageName;
    QStyle::StandardPixmap toolbarFallbackImage;
    QString toolbarTitle;
    // Builds a new pane (view model and view) each time it is called.
    std::function<QWidget*()> makeViewController;
};

// The panes in toolbar order.
struct PreferencesViewModel {
    std::vector<PreferencesItem> items;
    // Opens the debug pane over the window, for support; the window's key
    // combination `debugShortcut` runs it (none: no combination).
    std::function<void(QObject* sender)> showDebugPreferences {};
};

// Ctrl+Alt+D: the debug pane.
inline constexpr const char* debugShortcut = "Ctrl+Alt+D";

// The three standard panes: "general" ("Allgemein"), "account" ("Konto") and
// "feedback" ("Feedback"), built by the given functions.
[[nodiscard]] PreferencesViewModel standardPreferences(std::function<QWidget*()> makeGeneral, std::function<QWidget*()> makeAccount,
    std::function<QWidget*()> makeFeedback, std::function<void(QObject* sender)> showDebugPreferences = {});

} // namespace Orvella
