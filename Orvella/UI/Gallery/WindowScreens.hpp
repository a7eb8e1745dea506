#pragma once

#include "Orvella/UI/Gallery/GalleryScreens.hpp"

#include <vector>

namespace Orvella::Gallery {

// The windows' screens: login (empty, error, progress, welcome), password
// re-entry (plain, error), every preferences pane logged in and out, the
// proxy and debug sheets, and the cloud-folder alerts.
[[nodiscard]] std::vector<Screen> windowScreens();

} // namespace Orvella::Gallery
