#pragma once

#include "Orvella/Windows/StatusPopover.hpp"

#include "Reactive/Schedulers/Scheduler.hpp"

#include <any>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace Orvella {

// Owns the tray icon's popover: makes it on first use, shows it under the
// status item and closes it. A click outside closes the popover by itself
// (the toolkit does it); when that click was on the tray icon, the toggle
// the same click sends right after must not open the popover again, so a
// toggle that comes within `reopenGuard` of such a close does nothing.
// Main thread only; not copyable or movable.
class PopoverVisibilityController {
public:
    using CreatePopover = std::function<std::shared_ptr<StatusPopover>()>;

    static constexpr auto reopenGuard = std::chrono::milliseconds(300);

    // `clock` gives the time of the closes and toggles (the main queue).
    PopoverVisibilityController(CreatePopover createPopover, Reactive::DateSchedulerPtr clock);
    PopoverVisibilityController(const PopoverVisibilityController&) = delete;
    PopoverVisibilityController& operator=(const PopoverVisibilityController&) = delete;

    // Closes the popover when it is shown, else shows it with `sender`.
    void toggle(const std::any& sender);
    void show(const std::any& sender);
    void close();

    // The popover, made now when it was not made yet.
    [[nodiscard]] StatusPopover& popover();

private:
    CreatePopover m_createPopover;
    Reactive::DateSchedulerPtr m_clock;
    std::shared_ptr<StatusPopover> m_popover;
    std::shared_ptr<std::optional<Reactive::DateScheduler::TimePoint>> m_closedByItselfAt;
};

} // namespace Orvella
