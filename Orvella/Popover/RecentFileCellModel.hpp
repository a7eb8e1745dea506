#pragma once

#include <functional>
#include <optional>
#include <string>

namespace Orvella {

// One file row of the popover's list.
struct RecentFileCellModel {
    std::string fileName;
    // The file's absolute local path inside the cloud folder; none when the
    // server's path cannot be joined safely below the folder (such a row shows
    // the generic file icon).
    std::optional<std::string> filePath;
    // The modification date, already formatted.
    std::string dateString;
    // Run when the row is selected.
    std::function<void()> select;
};

} // namespace Orvella
