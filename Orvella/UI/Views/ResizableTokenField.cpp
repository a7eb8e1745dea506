#include "Orvella/UI/Views/ResizableTokenField.hpp"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QRegularExpression>
#include <QTextBlock>

#include <cmath>

namespace Orvella {

namespace {

constexpr int editingExtraHeight = 5;

const QRegularExpression& separators()
{
    static const QRegularExpression expression(QStringLiteral("[ \\t\\n\\r\\x{2028}\\x{2029}]+"));
    return expression;
}

} // namespace

QStringList tokensOf(const QString& text)
{
    return text.split(separators(), Qt::SkipEmptyParts);
}

ResizableTokenField::ResizableTokenField(QWidget* parent)
    : QTextEdit(parent)
{
    setAcceptRichText(false);
    // Tokens end at blanks and line breaks; Tab moves on to the next field.
    setTabChangesFocus(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QTextEdit::textChanged, this, [this] {
        updateGeometry();
        viewport()->update();
    });
}

QStringList ResizableTokenField::objectValue() const
{
    return tokensOf(toPlainText());
}

void ResizableTokenField::setDelegate(const ResizableTokenFieldDelegate* delegate)
{
    m_delegate = delegate;
    viewport()->update();
}

QSize ResizableTokenField::defaultSize() const
{
    const int frame = 2 * frameWidth();
    const int margins = static_cast<int>(2 * document()->documentMargin());
    return { 200, fontMetrics().lineSpacing() + margins + frame };
}

QSize ResizableTokenField::sizeHint() const
{
    const QSize standard = defaultSize();
    if (!m_isEditing) {
        return standard;
    }
    const auto used = document()->documentLayout()->documentSize();
    return { standard.width(), static_cast<int>(std::ceil(used.height())) + editingExtraHeight };
}

void ResizableTokenField::setEditing(bool editing)
{
    m_isEditing = editing;
    updateGeometry();
}

void ResizableTokenField::focusInEvent(QFocusEvent* event)
{
    QTextEdit::focusInEvent(event);
    setEditing(true);
}

void ResizableTokenField::focusOutEvent(QFocusEvent* event)
{
    QTextEdit::focusOutEvent(event);
    setEditing(false);
}

void ResizableTokenField::paintEvent(QPaintEvent* event)
{
    QTextEdit::paintEvent(event);
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::Highlight));
    const QString text = toPlainText();
    qsizetype position = 0;
    for (const auto& token : objectValue()) {
        position = text.indexOf(token, position);
        QTextCursor start(document());
        start.setPosition(static_cast<int>(position));
        QTextCursor stop(document());
        stop.setPosition(static_cast<int>(position + token.size()));
        position += token.size();
        const bool chip = m_delegate == nullptr || m_delegate->styleForToken(token) == TokenStyle::chip;
        const QRect first = cursorRect(start);
        const QRect last = cursorRect(stop);
        // A token broken over two lines is left plain.
        if (!chip || first.top() != last.top()) {
            continue;
        }
        // Hugging its token, so that the blank between two keeps them apart.
        painter.drawRoundedRect(QRectF(first.left() - 1, first.top(), last.left() - first.left() + 1, first.height()).adjusted(0.5, 0.5, -0.5, -0.5),
            4, 4);
    }
}

} // namespace Orvella
