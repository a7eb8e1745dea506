#include "Orvella/Preferences/CloudFolderFileManager.hpp"

#include "Platform/FileSystem/Trash.hpp"

#include <filesystem>

namespace Orvella {

std::expected<std::vector<std::string>, Platform::FileSystemError> SystemCloudFolderFileManager::contentsOfDirectory(const std::string& path)
{
    std::error_code error;
    std::filesystem::directory_iterator iterator(path, error);
    if (error) {
        return std::unexpected(Platform::FileSystemError::fromErrno(error.value(), path));
    }
    std::vector<std::string> entries;
    for (const std::filesystem::directory_iterator end; iterator != end; iterator.increment(error)) {
        entries.push_back(iterator->path().string());
    }
    if (error) {
        return std::unexpected(Platform::FileSystemError::fromErrno(error.value(), path));
    }
    return entries;
}

std::expected<void, Platform::FileSystemError> SystemCloudFolderFileManager::trashItem(const std::string& path)
{
    auto trashed = Platform::Trash::moveToTrash(path);
    if (!trashed) {
        return std::unexpected(trashed.error());
    }
    return {};
}

} // namespace Orvella
