#pragma once

#include <QPlainTextEdit>

namespace Orvella {

// A text view in which Tab and Shift-Tab move the keyboard focus to the next
// or previous control instead of inserting a tab; every other key, Return
// included, acts as in a plain text view.
class TabIgnoringTextView : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TabIgnoringTextView(QWidget* parent = nullptr) : QPlainTextEdit(parent) {}

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace Orvella
