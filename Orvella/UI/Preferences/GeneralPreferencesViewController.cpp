#include "Orvella/UI/Preferences/GeneralPreferencesViewController.hpp"

#include "Orvella/UI/Presentation/Bindings.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Orvella {

namespace {

// Set once from `property`, then every click writes back; `inverted` boxes
// are ticked while the property is false.
void bindCheckBox(QCheckBox* box, Reactive::MutableProperty<bool>& property, bool inverted)
{
    box->setChecked(property.value() != inverted);
    bindSignal(property, box, &QCheckBox::clicked, [inverted](bool checked) { return checked != inverted; });
}

} // namespace

GeneralPreferencesViewController::GeneralPreferencesViewController(
    std::shared_ptr<GeneralPreferencesViewModel> viewModel, std::shared_ptr<NavigatorActions> actions, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(std::move(viewModel))
    , m_actions(std::move(actions))
    , m_launchOnStartupButton(new QCheckBox(QStringLiteral("Beim Anmelden automatisch starten"), this))
    , m_enableDesktopNotificationsButton(new QCheckBox(QStringLiteral("Desktop-Benachrichtigungen anzeigen"), this))
    , m_enableUsageTrackingButton(new QCheckBox(QStringLiteral("Keine anonymen Nutzungsdaten senden"), this))
    , m_versionLabel(new QLabel(this))
    , m_proxyButton(new QPushButton(QStringLiteral("&Proxy-Einstellungen …"), this))
{
    setObjectName(QStringLiteral("GeneralPreferencesViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->addWidget(m_launchOnStartupButton);
    layout->addWidget(m_enableDesktopNotificationsButton);
    layout->addWidget(m_enableUsageTrackingButton);
    layout->addSpacing(8);
    layout->addWidget(m_proxyButton, 0, Qt::AlignLeft);
    layout->addStretch();
    layout->addWidget(m_versionLabel, 0, Qt::AlignRight);

    m_versionLabel->setText(QString::fromStdString(m_viewModel->versionText()));
    bindCheckBox(m_launchOnStartupButton, m_viewModel->launchOnStartup(), false);
    bindCheckBox(m_enableDesktopNotificationsButton, m_viewModel->enableDesktopNotifications(), false);
    bindCheckBox(m_enableUsageTrackingButton, m_viewModel->enableUsageTracking(), true);
    connect(m_proxyButton, &QPushButton::clicked, this, [this] {
        if (m_actions) {
            m_actions->showProxyPreferences(m_proxyButton);
        }
    });
}

} // namespace Orvella
