#pragma once

#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace Orvella {

// Stands in for the tray icon where no tray answers (stock GNOME, Xvfb): a
// small frameless window at the top right of the primary screen that shows
// the icon, takes the click and opens the tray icon's menu on a right click.
class StatusItemFallbackWindow final : public QWidget {
public:
    static constexpr int side = 32;

    explicit StatusItemFallbackWindow(std::function<void()> clicked);

    void setIcon(const QIcon& icon);
    void setContextMenu(QMenu* menu) { m_contextMenu = menu; }
    // Moves the window to the top right of the primary screen's free area.
    void placeAtTopRight();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::function<void()> m_clicked;
    QIcon m_icon;
    QPointer<QMenu> m_contextMenu;
};

} // namespace Orvella
