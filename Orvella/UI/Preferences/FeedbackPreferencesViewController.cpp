#include "Orvella/UI/Preferences/FeedbackPreferencesViewController.hpp"

#include "Orvella/Settings/SettingsManager.hpp"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Orvella {

FeedbackPreferencesViewController::FeedbackPreferencesViewController(std::shared_ptr<NavigatorActions> actions, QWidget* parent)
    : QWidget(parent)
    , m_contactButton(new QPushButton(QStringLiteral("Kontakt aufnehmen"), this))
    , m_helpButton(new QPushButton(QStringLiteral("Hilfe öffnen"), this))
{
    setObjectName(QStringLiteral("FeedbackPreferencesViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    auto* text = new QLabel(QStringLiteral("Haben Sie Fragen, Wünsche oder Anregungen? Wir freuen uns über Ihre Rückmeldung."), this);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addWidget(m_contactButton, 0, Qt::AlignLeft);
    layout->addWidget(m_helpButton, 0, Qt::AlignLeft);
    layout->addStretch();
    connect(m_contactButton, &QPushButton::clicked, this, [actions, button = m_contactButton] { actions->openContactURL(button); });
    connect(m_helpButton, &QPushButton::clicked, this, [actions, button = m_helpButton] { actions->openHelpURL(button); });
}

ProxyPreferencesViewController::ProxyPreferencesViewController(std::shared_ptr<SettingsManager> settingsManager, QWidget* parent)
    : QDialog(parent)
    , m_settingsManager(std::move(settingsManager))
    , m_closeButton(nullptr)
{
    setObjectName(QStringLiteral("ProxyPreferencesViewController"));
    setWindowTitle(QStringLiteral("Proxy"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(QStringLiteral("Die Verbindung zum Dienst verwendet die Proxy-Einstellungen Ihres Systems. "
                                           "Ändern Sie diese in den Netzwerkeinstellungen Ihrer Arbeitsumgebung."),
        this);
    text->setWordWrap(true);
    text->setMinimumWidth(360);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(this);
    m_closeButton = buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::AcceptRole);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace Orvella
