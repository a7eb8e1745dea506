#include "Orvella/UI/StatusItem/StatusItemFallbackWindow.hpp"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace Orvella {

StatusItemFallbackWindow::StatusItemFallbackWindow(std::function<void()> clicked)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_clicked(std::move(clicked))
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Status"));
}

void StatusItemFallbackWindow::setIcon(const QIcon& icon)
{
    m_icon = icon;
    update();
}

void StatusItemFallbackWindow::placeAtTopRight()
{
    if (auto* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - side - 8 + 1, area.top() + 8);
    }
}

void StatusItemFallbackWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_icon.paint(&painter, rect().adjusted(2, 2, -2, -2));
}

void StatusItemFallbackWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && m_clicked) {
        m_clicked();
    }
}

} // namespace Orvella

namespace Orvella {

void StatusItemFallbackWindow::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_contextMenu) {
        m_contextMenu->popup(event->globalPos());
        event->accept();
    }
}

} // namespace Orvella
