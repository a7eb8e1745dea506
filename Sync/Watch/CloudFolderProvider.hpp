#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Reactive/Property.hpp"

namespace Sync {

// Where the cloud folder is, as the application's settings say. Implemented
// by the application; read from any thread.
class CloudFolderProvider {
public:
    virtual ~CloudFolderProvider() = default;

    // The cloud folder's file URL: its current value when read, and its later
    // changes. Changes may arrive on any thread.
    [[nodiscard]] virtual Reactive::Property<Platform::URL> currentCloudFolder() const = 0;
};

} // namespace Sync
