#pragma once
// The bindings the login and the password windows share.

#include "Orvella/UI/Presentation/Bindings.hpp"
#include "Orvella/UI/Views/PlainText.hpp"
#include "Orvella/UI/Views/ProgressSheet.hpp"

#include "Reactive/Action.hpp"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

#include <any>
#include <functional>
#include <string>

namespace Orvella {

// Pressing `button` applies `action` with the button as input; the button is
// enabled exactly when the action is. `owner` (the view model holding the
// action) is kept as long as the button.
template<class O, class E>
void bindActionButton(QAbstractButton* button, const Reactive::Action<std::any, O, E>& action, std::shared_ptr<const void> owner)
{
    bindProperty(button, action.isEnabled(), [](QAbstractButton* target, bool enabled) { target->setEnabled(enabled); });
    auto apply = [&action, button, owner] { action.apply(std::any(static_cast<QObject*>(button))).start(); };
    QObject::connect(button, &QAbstractButton::clicked, button, apply);
}

// Every keystroke in `field` sets `property`; text set by the program does not.
inline void bindTypedText(Reactive::MutableProperty<std::string>& property, QLineEdit* field)
{
    field->setText(QString::fromStdString(property.value()));
    bindSignal(property, field, &QLineEdit::textEdited, [](const QString& text) { return text.toStdString(); });
}

// Gives `widget` the keyboard focus now, or, while the progress sheet still
// covers (disables) it, as soon as it is enabled again.
inline void focusWhenEnabled(QWidget* widget)
{
    if (widget->isEnabled()) {
        widget->setFocus(Qt::OtherFocusReason);
        return;
    }
    struct FocusOnEnable final : QObject {
        using QObject::QObject;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* target = static_cast<QWidget*>(watched);
            if (event->type() == QEvent::EnabledChange && target->isEnabled()) {
                target->setFocus(Qt::OtherFocusReason);
                deleteLater();
            }
            return false;
        }
    };
    widget->installEventFilter(new FocusOnEnable(widget));
}

// The label shows the error text; a new non-empty error empties the password
// field (and with it the typed password, through `discardPassword`) and puts
// the keyboard focus there.
inline void bindErrorText(QLabel* label, QLineEdit* passwordField, const Reactive::Property<std::string>& errorText,
    std::function<void()> discardPassword)
{
    // The service's own error text, shown as it came.
    showAsPlainText(label);
    bindProperty(label, errorText, [](QLabel* target, const std::string& text) { target->setText(QString::fromStdString(text)); });
    QPointer<QLineEdit> field(passwordField);
    errorText.signal()
        .takeDuring(lifetimeOf(passwordField))
        .observeOn(Reactive::UIScheduler::make())
        .observeValues([field, discardPassword](const std::string& text) {
            if (field && !text.empty()) {
                field->clear();
                discardPassword();
                focusWhenEnabled(field);
            }
        });
}

// The progress sheet is on the window exactly while `isExecuting` holds.
inline void bindProgressSheet(ProgressSheet* sheet, const Reactive::Property<bool>& isExecuting, const std::string& clientName)
{
    const QString text = QStringLiteral("Anmeldung bei ") + QString::fromStdString(clientName) + QStringLiteral(" \u2026");
    bindProperty(sheet, isExecuting, [text](ProgressSheet* target, bool running) {
        if (running) {
            target->begin(text);
        } else {
            target->end();
        }
    });
}

} // namespace Orvella
