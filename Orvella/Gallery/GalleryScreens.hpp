#pragma once
// Orvella/Gallery: renders the application's screens with fake services to
// PNG files, off-screen or on any X display, for review by eye.

#include <QImage>
#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace Orvella::Gallery {

struct Screen {
    std::string name;
    // Renders the screen; a null image when it could not be rendered.
    std::function<QImage()> render;
};

// Every screen, in a fixed order: the tray icon per sync state, the popover
// per sync state with rows, empty, during a search, with its menu open, and
// the logged-out popover. Needs a QApplication and the Qt main loop.
[[nodiscard]] std::vector<Screen> screens();

} // namespace Orvella::Gallery
