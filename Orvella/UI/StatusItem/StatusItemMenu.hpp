#pragma once

#include "Orvella/Popover/SyncEnabler.hpp"
#include "Orvella/Presentation/NavigatorActions.hpp"
#include "Orvella/StatusItem/SyncStatusProvider.hpp"

#include <QMenu>

#include <functional>
#include <memory>
#include <string>

class QAction;

namespace Orvella {

// The tray icon's own menu (a right click, as tray users expect): the cloud
// folder, the preferences, pause or start (titled and enabled as the sync
// state says, on the UI scheduler) and quit. It works whether or not anyone
// is logged in, so the preferences are always a click away. GUI thread only.
class StatusItemMenu final : public QMenu {
public:
    struct Services {
        std::string clientName;
        std::shared_ptr<NavigatorActions> actions;
        std::shared_ptr<SyncStatusProvider> syncStatus;
        std::shared_ptr<SyncEnabler> syncEnabler;
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
};

} // namespace Orvella
