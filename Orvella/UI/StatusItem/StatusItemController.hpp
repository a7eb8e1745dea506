#pragma once

#include "Orvella/StatusItem/StatusItemViewModel.hpp"
#include "Orvella/UI/Presentation/IconFactory.hpp"
#include "Orvella/UI/StatusItem/StatusItemFallbackWindow.hpp"
#include "Orvella/UI/Windows/PopoverAnchor.hpp"

#include <QMenu>
#include <QSystemTrayIcon>

#include <memory>
#include <string>

namespace Orvella {

// Owns the tray icon and binds it to its view model: the image and the tool
// tip follow the view model's icon and tool tip (delivered on the UI scheduler, so a status change on
// any thread touches the icon on the GUI thread only), and a click
// (`activated` with `Trigger`) applies the click action with this controller,
// as the popover's anchor, for sender. Where no tray answers, a small window
// at the top right of the screen shows the icon and takes the click instead.
// Main thread only.
class StatusItemController final : public PopoverAnchor {
public:
    enum class Host {
        detect,         // the tray when `QSystemTrayIcon::isSystemTrayAvailable()`, else the window
        fallbackWindow, // always the window
    };

    StatusItemController(std::shared_ptr<StatusItemViewModel> viewModel, std::shared_ptr<const IconFactory> icons,
        Host host = Host::detect);
    ~StatusItemController() override;
    StatusItemController(const StatusItemController&) = delete;
    StatusItemController& operator=(const StatusItemController&) = delete;

    // Puts the icon on the panel (or the window on screen) and lets it take clicks.
    void enable();
    [[nodiscard]] bool isEnabled() const { return m_enabled; }

    [[nodiscard]] QSystemTrayIcon& statusItem() { return m_statusItem; }
    // The window standing in for the tray; null when the tray answers.
    [[nodiscard]] StatusItemFallbackWindow* fallbackWindow() const { return m_fallbackWindow.get(); }
    // The name of the image shown now.
    [[nodiscard]] const std::string& iconName() const { return m_iconName; }

    [[nodiscard]] QRect anchorGeometry() const override;

    // What a click does; nothing until enabled.
    void click();

    // The menu a right click opens, on the tray icon or on the window that
    // stands in for it.
    void setContextMenu(std::unique_ptr<QMenu> menu);
    [[nodiscard]] QMenu* contextMenu() const { return m_contextMenu.get(); }

private:
    std::shared_ptr<StatusItemViewModel> m_viewModel;
    std::shared_ptr<const IconFactory> m_icons;
    // Before the icon, which points to it, so that it goes after it.
    std::unique_ptr<QMenu> m_contextMenu;
    QSystemTrayIcon m_statusItem;
    std::unique_ptr<StatusItemFallbackWindow> m_fallbackWindow;
    std::string m_iconName;
    bool m_enabled = false;
};

} // namespace Orvella
