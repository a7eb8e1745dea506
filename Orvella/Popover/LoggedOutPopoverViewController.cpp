#include "Orvella/Popover/LoggedOutPopoverViewController.hpp"

#include <QLabel>
#include <QVBoxLayout>

namespace Orvella {

LoggedOutPopoverViewController::LoggedOutPopoverViewController(const ClientConfiguration& configuration, QWidget* parent)
    : QWidget(parent)
    , m_appName(configuration.clientName())
{
    setObjectName(QStringLiteral("LoggedOutPopoverViewController"));
    setFixedWidth(360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 24, 20, 24);
    m_infoLabel = new QLabel(this);
    m_infoLabel->setWordWrap(true);
    m_infoLabel->setAlignment(Qt::AlignCenter);
    m_infoLabel->setText(QString::fromStdString("Sie müssen sich anmelden, um die " + m_appName + " zu verwenden."));
    layout->addWidget(m_infoLabel);
}

} // namespace Orvella
