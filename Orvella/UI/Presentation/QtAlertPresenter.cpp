#include "Orvella/UI/Presentation/QtAlertPresenter.hpp"

#include "Orvella/UI/Views/PlainText.hpp"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace Orvella {

namespace {

QMessageBox::Icon iconFor(AlertStyle style)
{
    switch (style) {
    case AlertStyle::warning:
        return QMessageBox::Warning;
    case AlertStyle::informational:
        return QMessageBox::Information;
    case AlertStyle::critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::Warning;
}

}

int QtAlertPresenter::runModal(const Alert& alert)
{
    QMessageBox box;
    box.setIcon(iconFor(alert.style));
    box.setText(QString::fromStdString(alert.messageText));
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    // An alert's texts are often the service's own error text or name a file:
    // every label of the box shows them as they are (no markup, no links).
    box.setTextFormat(Qt::PlainText);
    for (auto* label : box.findChildren<QLabel*>())
        showAsPlainText(label);
    const auto titles = alert.buttons.empty() ? std::vector<std::string> { "OK" } : alert.buttons;
    std::vector<QPushButton*> buttons;
    for (std::size_t index = 0; index < titles.size(); ++index) {
        // Roles only place the buttons; the answer is the position in `titles`.
        const auto role = index == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        buttons.push_back(box.addButton(QString::fromStdString(titles[index]), role));
    }
    const std::size_t cancel = std::min(alert.cancelButton, buttons.size() - 1);
    box.setDefaultButton(buttons.front());
    // Escape and the close button of the window both "click" this one.
    box.setEscapeButton(buttons[cancel]);
    box.exec();
    auto clicked = std::ranges::find(buttons, box.clickedButton());
    const auto index = clicked == buttons.end() ? cancel : static_cast<std::size_t>(clicked - buttons.begin());
    return firstButton + static_cast<int>(index);
}

} // namespace Orvella
