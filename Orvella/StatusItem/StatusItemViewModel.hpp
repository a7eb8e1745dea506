#pragma once

#include "Orvella/StatusItem/StatusItemNavigator.hpp"
#include "Orvella/StatusItem/SyncStatusProvider.hpp"

#include "Reactive/Action.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Result.hpp"

#include <any>
#include <memory>
#include <string>

namespace Orvella {

inline constexpr const char* loggedOutStatusItemIcon = "statusitem-loggedout";
inline constexpr const char* loggedOutToolTip = "Nicht angemeldet";

// The tray icon's state: the name of the image of the current sync status,
// its state text as the icon's tool tip, and the click, which hands the
// clicked item to the navigator. While nobody is logged in nothing syncs
// whatever the scheduler's state, and the icon and tool tip say that
// ("statusitem-loggedout", "Nicht angemeldet") instead of a pause the user
// never chose.
// Threading: `icon` and `toolTip` change on whatever thread the status changes on; the
// click runs synchronously on the thread that applies it (the main thread).
class StatusItemViewModel {
public:
    using ClickAction = Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>;

    StatusItemViewModel(std::shared_ptr<SyncStatusProvider> syncStatusProvider, std::shared_ptr<StatusItemNavigator> navigator,
        Reactive::Property<bool> isLoggedIn = Reactive::Property<bool>::constant(true));
    StatusItemViewModel(const StatusItemViewModel&) = delete;
    StatusItemViewModel& operator=(const StatusItemViewModel&) = delete;

    // `statusItemIcon` of the current status while logged in.
    [[nodiscard]] const Reactive::Property<std::string>& icon() const { return m_icon; }
    // `statusText` of the current status while logged in, as the popover's state line shows it.
    [[nodiscard]] const Reactive::Property<std::string>& toolTip() const { return m_toolTip; }
    // Input: the sender (the status item); no output.
    [[nodiscard]] const ClickAction& statusItemClickAction() const { return m_statusItemClickAction; }

private:
    Reactive::Property<std::string> m_icon;
    Reactive::Property<std::string> m_toolTip;
    ClickAction m_statusItemClickAction;
};

} // namespace Orvella
