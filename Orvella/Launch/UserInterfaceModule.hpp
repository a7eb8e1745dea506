#pragma once

// The tray application's user interface in the container: the navigator,
// the status item, the popover and its content, the windows, the preference
// panes and sheets, and the password window for the session refresher.

#include "Orvella/Resolver/Binder.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <functional>

namespace Orvella {

struct UserInterfaceEnvironment {
    // Where widgets are touched (the GUI thread's loop).
    Reactive::SchedulerPtr uiScheduler;
    // The main queue the application core uses; the popover's content and
    // the private dialog's delayed close run on it.
    Reactive::DateSchedulerPtr mainQueue;
    // Ends the application (the popover menu's last item).
    std::function<void()> quit;
    // Brings the application's windows to the front.
    std::function<void()> activate;
};

// Adds the user interface's bindings. Every factory here builds widgets and
// so must be resolved on the GUI thread. A window or popover content that
// cannot be built ends the program with a logged message.
void registerUserInterface(Binder& binder, UserInterfaceEnvironment environment);

} // namespace Orvella
