#pragma once

#include "Glimmerd/FinderSync/ExtensionChannel.hpp"

#include <filesystem>

namespace Glimmerd {

// "CloudFolderURL" from the application's shared settings file, read afresh
// at every call and never written: a missing, unreadable or malformed file,
// or a value that is no text, reads as nothing.
class SharedCloudFolderSettings final : public CloudFolderSettings {
public:
    explicit SharedCloudFolderSettings(std::filesystem::path settingsFile);
    [[nodiscard]] std::optional<std::string> cloudFolderURL() const override;

private:
    std::filesystem::path m_settingsFile;
};

} // namespace Glimmerd
