#pragma once

#include <any>
#include <functional>

namespace Orvella {

// The tray icon's popover as its visibility controller drives it. Main thread only.
class StatusPopover {
public:
    virtual ~StatusPopover() = default;

    [[nodiscard]] virtual bool isShown() const = 0;
    // Shows the popover under the status item that `sender` names; a sender
    // of any other kind shows nothing.
    virtual void show(const std::any& sender) = 0;
    virtual void close() = 0;
    // `action` runs each time the popover closes by itself, on a click outside it.
    virtual void setClosedByItself(std::function<void()> action) = 0;
};

} // namespace Orvella
