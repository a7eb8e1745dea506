#include "Orvella/UI/Windows/PopoverWindow.hpp"

#include "Orvella/UI/Windows/PopoverAnchor.hpp"

#include <QCursor>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLayout>
#include <QResizeEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace Orvella {

class PopoverWindow::Frame final : public QWidget {
public:
    Frame() : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint)
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }

    QWidget* content = nullptr;
    bool closingOnRequest = false;
    std::function<void()> closedByItself;
    // Where the shown popover belongs, kept so that a size that changes once
    // the content is laid out on screen places it again.
    std::function<QPoint(QSize)> placement;

    // The size of the content as it will be shown: polished and laid out.
    QSize laidOutSize()
    {
        ensurePolished();
        if (content) {
            content->ensurePolished();
            for (auto* child : content->findChildren<QWidget*>()) {
                child->ensurePolished();
            }
        }
        if (auto* frameLayout = layout()) {
            frameLayout->invalidate();
            frameLayout->activate();
        }
        adjustSize();
        return size();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (isVisible() && placement) {
            move(placement(event->size()));
        }
    }

    void hideEvent(QHideEvent* event) override
    {
        QWidget::hideEvent(event);
        if (!std::exchange(closingOnRequest, false) && closedByItself) {
            closedByItself();
        }
    }
};

PopoverWindow::PopoverWindow()
    : m_frame(std::make_unique<Frame>())
{
}

PopoverWindow::~PopoverWindow() = default;

void PopoverWindow::setContent(QWidget* content)
{
    if (m_frame->content == content) {
        return;
    }
    delete m_frame->content;
    m_frame->content = content;
    if (content) {
        m_frame->layout()->addWidget(content);
    }
    m_frame->adjustSize();
}

QWidget* PopoverWindow::content() const
{
    return m_frame->content;
}

QWidget& PopoverWindow::window() const
{
    return *m_frame;
}

bool PopoverWindow::isShown() const
{
    return m_frame->isVisible();
}

void PopoverWindow::show(const std::any& sender)
{
    auto* const* anchor = std::any_cast<PopoverAnchor*>(&sender);
    if (!anchor || !*anchor) {
        return;
    }
    const QRect anchorRect = (*anchor)->anchorGeometry();
    QScreen* screen = anchorRect.isEmpty() ? QGuiApplication::screenAt(QCursor::pos()) : QGuiApplication::screenAt(anchorRect.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    std::optional<QPoint> cursor;
    if (available.contains(QCursor::pos())) {
        cursor = QCursor::pos();
    }
    m_frame->placement = [anchorRect, available, cursor](QSize size) { return position(anchorRect, size, available, cursor); };
    m_frame->move(position(anchorRect, m_frame->laidOutSize(), available, cursor));
    m_frame->show();
    m_frame->raise();
    m_frame->activateWindow();
}

void PopoverWindow::close()
{
    if (m_frame->isVisible()) {
        m_frame->closingOnRequest = true;
        m_frame->hide();
    }
}

void PopoverWindow::setClosedByItself(std::function<void()> action)
{
    m_frame->closedByItself = std::move(action);
}

QPoint PopoverWindow::position(QRect anchor, QSize size, QRect screen, std::optional<QPoint> cursor)
{
    QPoint point;
    if (!anchor.isEmpty() || cursor) {
        const QRect below = anchor.isEmpty() ? QRect(*cursor, QSize(1, 1)) : anchor;
        point = QPoint(below.center().x() - size.width() / 2, below.bottom() + 1);
        if (point.y() + size.height() > screen.bottom() && below.top() - size.height() >= screen.top()) {
            point.setY(below.top() - size.height());
        }
    } else {
        point = QPoint(screen.right() - size.width() + 1, screen.top());
    }
    point.setX(std::clamp(point.x(), screen.left(), std::max(screen.left(), screen.right() - size.width() + 1)));
    point.setY(std::clamp(point.y(), screen.top(), std::max(screen.top(), screen.bottom() - size.height() + 1)));
    return point;
}

} // namespace Orvella
