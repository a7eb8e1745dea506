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

} // namespace Orvella
