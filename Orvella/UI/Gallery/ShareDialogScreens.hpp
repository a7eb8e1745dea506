#pragma once

#include "Orvella/UI/Gallery/GalleryScreens.hpp"

namespace Orvella::Gallery {

// Both sharing dialogs (the private one also with recipients typed and with
// its close question) and the logout question.
[[nodiscard]] std::vector<Screen> shareDialogScreens();

} // namespace Orvella::Gallery
