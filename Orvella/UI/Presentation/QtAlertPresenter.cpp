#include "Orvella/UI/Presentation/QtAlertPresenter.hpp"

#include "Orvella/UI/Views/PlainText.hpp"

#include <QApplication>
#include <QGridLayout>
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

// An alert belongs to the window it speaks about (no task-bar entry of its
// own, no maximise button) and is wide enough for its title with the brand
// and for its text in a few lines.
void fitAlertWindow(QMessageBox& box)
{
    constexpr int alertWidth = 420;
    if (auto* owner = QApplication::activeWindow(); owner && owner != &box) {
        box.setParent(owner, Qt::Dialog);
    }
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
        | Qt::MSWindowsFixedSizeDialogHint);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(alertWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1, grid->columnCount());
    }
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
    fitAlertWindow(box);
    box.exec();
    auto clicked = std::ranges::find(buttons, box.clickedButton());
    const auto index = clicked == buttons.end() ? cancel : static_cast<std::size_t>(clicked - buttons.begin());
    return firstButton + static_cast<int>(index);
}

} // namespace Orvella
