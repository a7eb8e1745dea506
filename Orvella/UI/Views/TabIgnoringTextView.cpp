#include "Orvella/UI/Views/TabIgnoringTextView.hpp"

#include <QKeyEvent>

namespace Orvella {

void TabIgnoringTextView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Backtab || (event->key() == Qt::Key_Tab && event->modifiers().testFlag(Qt::ShiftModifier))) {
        QWidget::focusNextPrevChild(false);
        return;
    }
    if (event->key() == Qt::Key_Tab) {
        QWidget::focusNextPrevChild(true);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace Orvella
