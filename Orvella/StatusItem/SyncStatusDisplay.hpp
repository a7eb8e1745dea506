#pragma once

#include "Sync/Schedule/SyncStatus.hpp"

#include <string>

namespace Orvella {

// How each sync state is shown. Images are named, not loaded: the user
// interface looks the name up among its images. The date of the all-in-sync
// state is shown nowhere.

// The tray icon's image ("statusitem-…"); checking shows the up-to-date image.
[[nodiscard]] std::string statusItemIcon(const Sync::SyncStatus& status);
// The popover's state image ("status-…").
[[nodiscard]] std::string popoverIcon(const Sync::SyncStatus& status);
// The popover's state line, e.g. "Daten sind aktuell".
[[nodiscard]] std::string statusText(const Sync::SyncStatus& status);
// The title of the pause or start command.
[[nodiscard]] std::string actionText(const Sync::SyncStatus& status);
// False only while the service cannot be reached.
[[nodiscard]] bool isActionAvailable(const Sync::SyncStatus& status);

// The pause or start command as one state shows it and carries it out: the
// title the user reads and what choosing it writes to the sync switch come
// from the same state, so a start never pauses. Nobody logged in, nothing
// can sync: the entry leads to the login window instead, and the stored
// switch stays as the user left it for the next login.
struct SyncCommand {
    std::string title;
    bool available = false;
    // The value choosing it gives the user's sync switch.
    bool enablesSync = false;
    // Choosing it opens the login window and leaves the switch alone.
    bool opensLogin = false;

    friend bool operator==(const SyncCommand&, const SyncCommand&) = default;
};
[[nodiscard]] SyncCommand syncCommand(const Sync::SyncStatus& status, bool loggedIn);

} // namespace Orvella
