#pragma once

#include "Sync/Model/File.hpp"

namespace Orvella {

// What selecting a file of the popover's list does, served by the navigator:
// shows that file of the cloud folder selected in the file manager. Main thread only.
class PopoverNavigator {
public:
    virtual ~PopoverNavigator() = default;

    virtual void revealInFinder(const Sync::File& file) = 0;
};

} // namespace Orvella
