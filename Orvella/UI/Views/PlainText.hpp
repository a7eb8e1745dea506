#pragma once

#include <QLabel>
#include <QString>
#include <QTextDocument>

namespace Orvella {

// What a label shows of a text the service sent or a file name holds: the
// text itself. Read as rich text (Qt's default for anything that looks like
// markup), such a text could draw what it likes, load images and carry links
// that a click hands to the desktop's opener, past the rule that only the
// service's https pages are opened.
inline void showAsPlainText(QLabel* label)
{
    label->setTextFormat(Qt::PlainText);
    label->setOpenExternalLinks(false);
}

// A tool tip reads markup too; this one shows `text` as it is.
[[nodiscard]] inline QString plainToolTip(const QString& text)
{
    return text.isEmpty() ? text : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

} // namespace Orvella
