#pragma once

#include "Orvella/Preferences/AccountPreferencesViewModel.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <cstdlib>
#include <filesystem>

namespace Orvella::Testing {

// The real file system and Trash, with failures that a test asks for.
struct ScriptedFileManager final : CloudFolderFileManager {
    SystemCloudFolderFileManager system;
    std::optional<Platform::FileSystemError> failListing;
    std::string failTrash;
    std::vector<std::string> trashed;

    std::expected<std::vector<std::string>, Platform::FileSystemError> contentsOfDirectory(const std::string& path) override
    {
        if (failListing) {
            return std::unexpected(*failListing);
        }
        return system.contentsOfDirectory(path);
    }
    std::expected<void, Platform::FileSystemError> trashItem(const std::string& path) override
    {
        if (path == failTrash) {
            return std::unexpected(Platform::FileSystemError::fromErrno(EPERM, path));
        }
        trashed.push_back(path);
        return system.trashItem(path);
    }
};

// A home folder with its cloud folder "Cloud" and a private Trash
// ($XDG_DATA_HOME) below `root`.
struct AccountFixture {
    const Platform::Testing::TemporaryDirectory& root;
    std::shared_ptr<ScriptedFileManager> fileManager = std::make_shared<ScriptedFileManager>();
    Reactive::MutableProperty<bool> loggedIn { false };
    Reactive::MutableProperty<std::optional<std::string>> customerEmail { std::nullopt };
    Reactive::MutableProperty<Platform::URL> cloudFolder;
    int logouts = 0;
    int loginWindowShown = 0;

    explicit AccountFixture(const Platform::Testing::TemporaryDirectory& root)
        : root(root)
        , cloudFolder(Platform::URL::fileURL(root / "home/Cloud", Platform::URL::IsDirectory::Yes))
    {
        std::filesystem::create_directories(root / "home/Cloud");
        std::filesystem::create_directories(root / "data");
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    }

    std::unique_ptr<AccountPreferencesViewModel> make()
    {
        return std::make_unique<AccountPreferencesViewModel>(AccountPreferencesViewModel::Services {
            .configuration = std::make_shared<BrisantoClientConfiguration>(),
            .isLoggedIn = loggedIn,
            .customerEmail = customerEmail,
            .cloudFolderURL = &cloudFolder,
            .fileManager = fileManager,
            .logout = [this](const std::any&) { ++logouts; },
            .showLoginWindow = [this] { ++loginWindowShown; },
            .homeFolder = root / "home" });
    }
};

} // namespace Orvella::Testing
