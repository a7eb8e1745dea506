#include "Orvella/UI/StatusItem/StatusItemMenu.hpp"

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
        if (!m_syncCommand.available)
            return;
        if (m_syncCommand.opensLogin)
            m_services.actions->showLoginWindow(m_toggleSyncItem);
        else
            m_services.syncEnabler->isSyncEnabled().set(m_syncCommand.enablesSync);
    });
    connect(m_quitItem, &QAction::triggered, this, [this] {
        if (m_services.quit) {
            m_services.quit();
        }
    });
    m_syncCommands = Reactive::combineLatest(m_services.syncStatus->status(), m_services.isLoggedIn).map([](const auto& both) {
        return syncCommand(std::get<0>(both), std::get<1>(both));
    });
    bindProperty(m_toggleSyncItem, *m_syncCommands, [this](QAction* item, const SyncCommand& command) {
        m_syncCommand = command;
        item->setText(QString::fromStdString(command.title));
        item->setEnabled(command.available);
    });
}

} // namespace Orvella
