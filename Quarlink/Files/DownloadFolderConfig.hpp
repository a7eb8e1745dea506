#pragma once

#include "Platform/Foundation/URL.hpp"

namespace Quarlink {

// Where a client keeps downloaded files: favourites in one folder, all other
// files in another. The library declares it; a client supplies one.
class DownloadFolderConfig {
public:
    virtual ~DownloadFolderConfig() = default;

    // The folder for favourite files.
    [[nodiscard]] virtual Platform::URL favoritesFolderURL() const = 0;
    // The folder for every other file.
    [[nodiscard]] virtual Platform::URL defaultFolderURL() const = 0;
};

} // namespace Quarlink
