#include "Orvella/UI/StatusItem/StatusItemMenu.hpp"

#include "Orvella/StatusItem/SyncStatusDisplay.hpp"
#include "Orvella/UI/Presentation/Bindings.hpp"

#include <QAction>

namespace Orvella {

StatusItemMenu::StatusItemMenu(Services services, QWidget* parent)
    : QMenu(parent)
    , m_services(std::move(services))
    , m_openCloudFolderItem(addAction(QString::fromStdString(m_services.clientName + " Ordner öffnen")))
    , m_preferencesItem(addAction(QStringLiteral("Einstellungen …")))
    , m_toggleSyncItem(addAction(QString()))
    , m_quitItem(nullptr)
{
    setObjectName(QStringLiteral("StatusItemMenu"));
    addSeparator();
    m_quitItem = addAction(QString::fromStdString(m_services.clientName + " beenden"));

    connect(m_openCloudFolderItem, &QAction::triggered, this, [this] { m_services.actions->openCloudFolder(m_openCloudFolderItem); });
    connect(m_preferencesItem, &QAction::triggered, this, [this] { m_services.actions->showPreferencesWindow(m_preferencesItem); });
    connect(m_toggleSyncItem, &QAction::triggered, this, [this] {
        auto& enabled = m_services.syncEnabler->isSyncEnabled();
        enabled.set(!enabled.value());
    });
    connect(m_quitItem, &QAction::triggered, this, [this] {
        if (m_services.quit) {
            m_services.quit();
        }
    });
    bindProperty(m_toggleSyncItem, m_services.syncStatus->status(), [](QAction* item, const Sync::SyncStatus& status) {
        item->setText(QString::fromStdString(actionText(status)));
        item->setEnabled(isActionAvailable(status));
    });
}

} // namespace Orvella
