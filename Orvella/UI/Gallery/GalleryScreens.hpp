#pragma once
// Orvella/UI/Gallery: renders the application's screens with fake services to
// PNG files, off-screen or on any X display, for review by eye.

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace Orvella::Gallery {

struct Screen {
    std::string name;
    // Renders the screen; a null image when it could not be rendered.
    std::function<QImage()> render;
};

// Shows `window` and lets its layout and first paint happen.
inline void settle(QWidget* window)
{
    window->show();
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::processEvents();
    }
}

// `image` with a faint border, as a window's edge looks against the page.
inline QImage framed(QImage image)
{
    QPainter painter(&image);
    painter.setPen(QColor(0, 0, 0, 60));
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    return image;
}

// Every screen, in a fixed order: the tray icon per sync state, the popover
// per sync state with rows, empty, during a search, with its menu open, the
// tray icon's right-click menu, and the logged-out popover with its actions. Needs a QApplication and the Qt main loop.
[[nodiscard]] std::vector<Screen> screens();

} // namespace Orvella::Gallery
