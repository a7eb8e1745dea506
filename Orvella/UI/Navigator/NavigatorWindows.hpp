#pragma once

#include <any>

namespace Orvella {

// The windows the navigator opens and closes, over their visibility
// controllers (the composition root builds them). Main thread only.
class NavigatorWindows {
public:
    enum class PreferencesSheet { proxy, debug };

    virtual ~NavigatorWindows() = default;
    virtual void showLoginWindow() = 0;
    virtual void hideLoginWindow() = 0;
    // The login window while there is one, else null.
    [[nodiscard]] virtual const void* loginWindow() const = 0;
    virtual void showPreferencesWindow() = 0;
    // A sheet on the preferences window's content; nothing without one.
    virtual void presentPreferencesSheet(PreferencesSheet sheet) = 0;
    virtual void togglePopover(const std::any& sender) = 0;
    // Shows the popover below `sender` (a `PopoverAnchor*`) unless it is shown.
    virtual void showPopover(const std::any& sender) = 0;
    // Brings the application to the front.
    virtual void activate() = 0;
};

} // namespace Orvella
