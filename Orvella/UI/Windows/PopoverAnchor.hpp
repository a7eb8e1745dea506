#pragma once

#include <QRect>

namespace Orvella {

// Something the popover can hang below: the tray icon, or the window that
// stands in for it. Main thread only.
class PopoverAnchor {
public:
    virtual ~PopoverAnchor() = default;

    // Where the anchor is on screen, in global coordinates; an empty rectangle
    // when the desktop does not say.
    [[nodiscard]] virtual QRect anchorGeometry() const = 0;
};

} // namespace Orvella
