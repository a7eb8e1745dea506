#pragma once

#include "Orvella/Settings/SettingsManager.hpp"
#include "Sync/Disk/FileSystemFileStoreConfiguration.hpp"

#include <memory>

namespace Orvella {

// The sync engine's view of the settings: the cloud folder and whether
// deletes go to the Trash, following the settings live.
class SettingsManagerFileSystemFileStoreConfiguration final : public Sync::FileSystemFileStoreConfiguration {
public:
    explicit SettingsManagerFileSystemFileStoreConfiguration(std::shared_ptr<SettingsManager> settingsManager)
        : m_settingsManager(std::move(settingsManager))
    {
    }

    // Read-only views made anew at each access.
    [[nodiscard]] Reactive::Property<bool> movesToTrash() const override { return m_settingsManager->shouldMoveToTrash(); }
    [[nodiscard]] Reactive::Property<Platform::URL> folderURL() const override { return m_settingsManager->cloudFolderURL(); }

    [[nodiscard]] const std::shared_ptr<SettingsManager>& settingsManager() const { return m_settingsManager; }

private:
    std::shared_ptr<SettingsManager> m_settingsManager;
};

} // namespace Orvella
