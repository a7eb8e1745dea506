#include "Orvella/UI/Views/ColoredView.hpp"

#include <QPainter>

namespace Orvella {

void ColoredView::setBackgroundColor(std::optional<QColor> color)
{
    m_backgroundColor = std::move(color);
    update();
}

void ColoredView::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_backgroundColor) {
        QPainter painter(this);
        painter.fillRect(rect(), *m_backgroundColor);
    }
}

QColor toQColor(const Color& color)
{
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green), static_cast<float>(color.blue),
        static_cast<float>(color.alpha));
}

} // namespace Orvella
