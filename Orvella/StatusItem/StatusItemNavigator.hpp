#pragma once

#include <any>

namespace Orvella {

// What a click on the tray icon does, served by the navigator: shows the
// popover when it is hidden and hides it when it is shown. `sender` is the
// clicked status item, under which the popover is placed. Main thread only.
class StatusItemNavigator {
public:
    virtual ~StatusItemNavigator() = default;

    virtual void togglePopover(const std::any& sender) = 0;
};

} // namespace Orvella
