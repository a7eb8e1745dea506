#pragma once

#include "Glimmerd/FinderSync/ExtensionChannel.hpp"
#include "Shared/WormholeNavigator.hpp"
#include "Platform/Desktop/DistributedNotificationCenter.hpp"

namespace Glimmerd {

// The extension's channel over the application group's wormhole and its
// centre of notifications between processes.
class WormholeExtensionChannel final : public ExtensionChannel {
public:
    WormholeExtensionChannel(Orvella::WormholeNavigator navigator,
        std::shared_ptr<Platform::DistributedNotificationCenter> notificationCenter);

    void ping(std::function<void(bool)> pong) override;
    void createPublicShareForFile(const Sync::SyncFileID& fileID) override;
    void createPrivateShareForFile(const Sync::SyncFileID& fileID) override;
    [[nodiscard]] Registration observeNotifications(std::vector<std::string> names,
        std::function<void(const std::string& name)> handler) override;

private:
    Orvella::WormholeNavigator m_navigator;
    std::shared_ptr<Platform::DistributedNotificationCenter> m_notificationCenter;
};

} // namespace Glimmerd
