#include "Orvella/UI/StatusItem/StatusItemController.hpp"

#include "Orvella/UI/Presentation/Bindings.hpp"

namespace Orvella {

StatusItemController::StatusItemController(std::shared_ptr<StatusItemViewModel> viewModel, std::shared_ptr<const IconFactory> icons, Host host)
    : m_viewModel(std::move(viewModel))
    , m_icons(std::move(icons))
{
    if (host == Host::fallbackWindow || !QSystemTrayIcon::isSystemTrayAvailable()) {
        m_fallbackWindow = std::make_unique<StatusItemFallbackWindow>([this] { click(); });
    }
    QObject::connect(&m_statusItem, &QSystemTrayIcon::activated, &m_statusItem, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            click();
        }
    });
    bindProperty(&m_statusItem, m_viewModel->icon(), [this](QSystemTrayIcon* item, const std::string& name) {
        m_iconName = name;
        const QIcon icon = m_icons->icon(name);
        item->setIcon(icon);
        if (m_fallbackWindow) {
            m_fallbackWindow->setIcon(icon);
        }
    });
    bindProperty(&m_statusItem, m_viewModel->toolTip(), [this](QSystemTrayIcon* item, const std::string& text) {
        item->setToolTip(QString::fromStdString(text));
        if (m_fallbackWindow) {
            m_fallbackWindow->setToolTip(QString::fromStdString(text));
            // The state is its name too, for a task list or a screen reader.
            m_fallbackWindow->setWindowTitle(QStringLiteral("Status \u2013 ") + QString::fromStdString(text));
        }
    });
}

StatusItemController::~StatusItemController() = default;

void StatusItemController::enable()
{
    m_enabled = true;
    if (m_fallbackWindow) {
        m_fallbackWindow->placeAtTopRight();
        m_fallbackWindow->show();
    } else {
        m_statusItem.show();
    }
}

QRect StatusItemController::anchorGeometry() const
{
    if (m_fallbackWindow) {
        return m_fallbackWindow->isVisible() ? m_fallbackWindow->frameGeometry() : QRect();
    }
    return m_statusItem.geometry();
}

void StatusItemController::setContextMenu(std::unique_ptr<QMenu> menu)
{
    m_statusItem.setContextMenu(menu.get());
    if (m_fallbackWindow) {
        m_fallbackWindow->setContextMenu(menu.get());
    }
    m_contextMenu = std::move(menu);
}

void StatusItemController::click()
{
    if (!m_enabled) {
        return;
    }
    m_viewModel->statusItemClickAction().apply(std::any(static_cast<PopoverAnchor*>(this))).start();
}

} // namespace Orvella
