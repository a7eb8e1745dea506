#pragma once

#include <QIcon>
#include <QWidget>

#include <functional>

namespace Orvella {

// Stands in for the tray icon where no tray answers (stock GNOME, Xvfb): a
// small frameless window at the top right of the primary screen that shows
// the icon and takes the click.
class StatusItemFallbackWindow final : public QWidget {
public:
    static constexpr int side = 32;

    explicit StatusItemFallbackWindow(std::function<void()> clicked);

    void setIcon(const QIcon& icon);
    // Moves the window to the top right of the primary screen's free area.
    void placeAtTopRight();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> m_clicked;
    QIcon m_icon;
};

} // namespace Orvella
