#include "Orvella/UI/Views/HyperlinkButton.hpp"

namespace Orvella {

HyperlinkButton::HyperlinkButton(const QString& title, QWidget* parent)
    : QPushButton(title, parent)
{
    setFlat(true);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0px; text-align: left; }"));
}

} // namespace Orvella
