#include "Orvella/UI/Popover/LoggedOutPopoverViewController.hpp"

#include "Orvella/UI/Popover/PopoverViewController.hpp"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Orvella {

LoggedOutPopoverViewController::LoggedOutPopoverViewController(
    const ClientConfiguration& configuration, std::shared_ptr<NavigatorActions> actions, std::function<void()> quit, QWidget* parent)
    : QWidget(parent)
    , m_appName(configuration.clientName())
    , m_actions(std::move(actions))
    , m_quit(quit ? std::move(quit) : std::function<void()>([] { QCoreApplication::quit(); }))
{
    setObjectName(QStringLiteral("LoggedOutPopoverViewController"));
    setFixedWidth(360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 24, 20, 16);
    m_infoLabel = new QLabel(this);
    m_infoLabel->setWordWrap(true);
    m_infoLabel->setAlignment(Qt::AlignCenter);
    m_infoLabel->setText(QString::fromStdString("Sie müssen sich anmelden, um die " + m_appName + " zu verwenden."));
    layout->addWidget(m_infoLabel);
    layout->addSpacing(12);

    m_loginButton = new QPushButton(QStringLiteral("Anmelden …"), this);
    m_loginButton->setDefault(true);
    m_quitButton = new QPushButton(QString::fromStdString(m_appName + " beenden"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_quitButton);
    buttons->addStretch(1);
    buttons->addWidget(m_loginButton);
    layout->addLayout(buttons);

    connect(m_loginButton, &QPushButton::clicked, this, [this] {
        if (m_actions) {
            m_actions->showLoginWindow(m_loginButton);
        }
        closeContainingPopover(this);
    });
    connect(m_quitButton, &QPushButton::clicked, this, [this] { m_quit(); });
}

} // namespace Orvella
