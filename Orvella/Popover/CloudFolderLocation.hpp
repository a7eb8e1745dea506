#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Reactive/Property.hpp"

#include <utility>

namespace Orvella {

// Where the cloud folder is now, as the settings keep it. Thread-safe.
class CloudFolderLocation {
public:
    virtual ~CloudFolderLocation() = default;

    // The cloud folder's file URL.
    [[nodiscard]] virtual Platform::URL currentCloudFolderURL() const = 0;
};

// The location as a property holds it, such as the settings' cloud folder URL.
class PropertyCloudFolderLocation final : public CloudFolderLocation {
public:
    explicit PropertyCloudFolderLocation(Reactive::Property<Platform::URL> url) : m_url(std::move(url)) {}

    [[nodiscard]] Platform::URL currentCloudFolderURL() const override { return m_url.value(); }

private:
    Reactive::Property<Platform::URL> m_url;
};

} // namespace Orvella
