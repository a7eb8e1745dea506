#pragma once

#include "Platform/Foundation/URL.hpp"

namespace Orvella {

// Where the cloud folder is now, as the settings keep it. Thread-safe.
class CloudFolderLocation {
public:
    virtual ~CloudFolderLocation() = default;

    // The cloud folder's file URL.
    [[nodiscard]] virtual Platform::URL currentCloudFolderURL() const = 0;
};

} // namespace Orvella
