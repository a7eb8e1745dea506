#pragma once

#include "Orvella/UI/Preferences/PreferencesPanes.hpp"

#include <QMainWindow>
#include "Orvella/UI/Views/OwnedWindow.hpp"


#include <vector>

class QAction;
class QStackedWidget;
class QToolBar;
class QWidget;

namespace Orvella {

// The preferences window: a toolbar of exclusive actions, text under icon,
// over the panes; switching is not animated and the first pane is selected.
// The panes are built once, when the window is first wanted; a new
// controller (after the window closed) builds new ones. The window is freed
// with `deleteLater()` when the controller goes. Main thread only.
class PreferencesWindowController {
public:
    explicit PreferencesWindowController(PreferencesViewModel viewModel);
    PreferencesWindowController(const PreferencesWindowController&) = delete;
    PreferencesWindowController& operator=(const PreferencesWindowController&) = delete;

    void showWindow();
    void close();
    [[nodiscard]] const void* window() const { return m_window.get(); }
    QWidget* loadWindow();

    // Shows `sheet` window-modal over the preferences window (the proxy and
    // debug panes); the sheet is freed when it closes.
    void presentSheet(QWidget* sheet);

    [[nodiscard]] QToolBar* toolbar() const { return m_toolbar; }
    [[nodiscard]] const std::vector<QAction*>& toolbarActions() const { return m_actions; }
    [[nodiscard]] QStackedWidget* panes() const { return m_panes; }
    void selectPane(int index);

private:
    PreferencesViewModel m_viewModel;
    OwnedWindow<QMainWindow> m_window;
    QToolBar* m_toolbar = nullptr;
    QStackedWidget* m_panes = nullptr;
    std::vector<QAction*> m_actions;
};

} // namespace Orvella
