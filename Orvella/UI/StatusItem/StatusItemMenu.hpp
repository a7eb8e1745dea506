#pragma once

#include "Orvella/Popover/SyncEnabler.hpp"
#include "Orvella/Presentation/NavigatorActions.hpp"
#include "Orvella/StatusItem/SyncStatusDisplay.hpp"
#include "Orvella/StatusItem/SyncStatusProvider.hpp"

#include <QMenu>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;

namespace Orvella {

// The tray icon's own menu (a right click, as tray users expect): the cloud
// folder, the preferences, pause or start (titled, enabled and carried out
// as the one state it shows says, on the UI scheduler) and quit. It works
// whether or not anyone is logged in, so the preferences are always a click
// away; logged out, the pause or start entry leads to the login window
// ("Anmelden …") and leaves the stored switch alone. GUI thread only.
class StatusItemMenu final : public QMenu {
public:
    struct Services {
        std::string clientName;
        std::shared_ptr<NavigatorActions> actions;
        std::shared_ptr<SyncStatusProvider> syncStatus;
        std::shared_ptr<SyncEnabler> syncEnabler;
        // The API manager's `isLoggedIn`.
        Reactive::Property<bool> isLoggedIn = Reactive::Property<bool>::constant(true);
        // Ends the application.
        std::function<void()> quit;
    };

    explicit StatusItemMenu(Services services, QWidget* parent = nullptr);

    [[nodiscard]] QAction* openCloudFolderItem() const { return m_openCloudFolderItem; }
    [[nodiscard]] QAction* preferencesItem() const { return m_preferencesItem; }
    [[nodiscard]] QAction* toggleSyncItem() const { return m_toggleSyncItem; }
    [[nodiscard]] QAction* quitItem() const { return m_quitItem; }

private:
    Services m_services;
    QAction* m_openCloudFolderItem;
    QAction* m_preferencesItem;
    QAction* m_toggleSyncItem;
    QAction* m_quitItem;
    // The command of every state, kept for as long as the entry follows it.
    std::optional<Reactive::Property<SyncCommand>> m_syncCommands;
    // What the pause or start entry shows now, and so what choosing it does.
    SyncCommand m_syncCommand;
};

} // namespace Orvella
