#include "Glimmerd/FinderSync/WormholeExtensionChannel.hpp"

namespace Glimmerd {

WormholeExtensionChannel::WormholeExtensionChannel(Orvella::WormholeNavigator navigator,
    std::shared_ptr<Platform::DistributedNotificationCenter> notificationCenter)
    : m_navigator(std::move(navigator))
    , m_notificationCenter(std::move(notificationCenter))
{
}

void WormholeExtensionChannel::ping(std::function<void(bool)> pong)
{
    m_navigator.ping(std::move(pong));
}

void WormholeExtensionChannel::createPublicShareForFile(const Sync::SyncFileID& fileID)
{
    m_navigator.createPublicShareForFile(fileID);
}

void WormholeExtensionChannel::createPrivateShareForFile(const Sync::SyncFileID& fileID)
{
    m_navigator.createPrivateShareForFile(fileID);
}

ExtensionChannel::Registration WormholeExtensionChannel::observeNotifications(std::vector<std::string> names,
    std::function<void(const std::string& name)> handler)
{
    auto registrations = std::make_shared<std::vector<Platform::NotificationCenter::Registration>>();
    for (auto& name : names) {
        registrations->push_back(m_notificationCenter->addObserver(name,
            [handler](const Platform::DistributedNotification& notification) { handler(notification.name); }));
    }
    return registrations;
}

} // namespace Glimmerd
