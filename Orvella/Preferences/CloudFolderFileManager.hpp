#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"

#include <expected>
#include <string>
#include <vector>

namespace Orvella {

// What the account pane asks of the file system about a chosen folder.
class CloudFolderFileManager {
public:
    virtual ~CloudFolderFileManager() = default;
    // The absolute paths of the folder's entries, hidden ones included, not recursive.
    [[nodiscard]] virtual std::expected<std::vector<std::string>, Platform::FileSystemError> contentsOfDirectory(const std::string& path) = 0;
    // Moves one item to the user's Trash, never deleting it outright.
    [[nodiscard]] virtual std::expected<void, Platform::FileSystemError> trashItem(const std::string& path) = 0;
};

// The real file system and the freedesktop.org Trash.
class SystemCloudFolderFileManager final : public CloudFolderFileManager {
public:
    [[nodiscard]] std::expected<std::vector<std::string>, Platform::FileSystemError> contentsOfDirectory(const std::string& path) override;
    [[nodiscard]] std::expected<void, Platform::FileSystemError> trashItem(const std::string& path) override;
};

} // namespace Orvella
