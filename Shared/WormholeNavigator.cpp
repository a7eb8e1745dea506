#include "Shared/WormholeNavigator.hpp"

#include "Shared/SharedConstants.hpp"

namespace Orvella {

namespace {

std::shared_ptr<Platform::Wormhole> defaultWormhole()
{
    auto wormhole = Platform::Wormhole::create({
        .applicationGroupDirectory = SharedConstants::groupContainerPath(),
        .directoryName = "wormhole",
        .notificationCenter = SharedConstants::distributedNotificationCenter(),
        .timeoutScheduler = nullptr,
        .loggingEnabled = false,
    });
    if (!wormhole)
        fatalError("Der Nachrichtenkanal zur Erweiterung kann nicht geöffnet werden: " + wormhole.error().message());
    return *wormhole;
}

} // namespace

WormholeNavigator::WormholeNavigator()
    : m_wormhole(defaultWormhole())
{
}

WormholeNavigator::WormholeNavigator(std::shared_ptr<Platform::Wormhole> wormhole)
    : m_wormhole(std::move(wormhole))
{
}

void WormholeNavigator::replyToPings() { m_wormhole->replyToPings(SharedConstants::pingIdentifierName()); }

void WormholeNavigator::ping(std::function<void(bool)> pong)
{
    m_wormhole->sendPing(SharedConstants::pingIdentifierName(), pingTimeout, std::move(pong));
}

void WormholeNavigator::reloadUserDefaults(const Platform::UserDefaults& defaults)
{
    nlohmann::json payload = nlohmann::json::object();
    for (auto& [key, value] : defaults.dictionaryRepresentation())
        payload[key] = value;
    m_wormhole->sendMessage(std::string(userDefaultsDidChangeIdentifier), payload);
}

WormholeNavigator::Registration WormholeNavigator::onReloadUserDefaults(
    std::function<void(const Platform::UserDefaults::Dictionary&)> handler)
{
    return m_wormhole->listenForMessages(std::string(userDefaultsDidChangeIdentifier), [handler = std::move(handler)](const nlohmann::json& payload) {
        if (!payload.is_object())
            return;
        Platform::UserDefaults::Dictionary dictionary;
        for (auto& [key, value] : payload.items())
            dictionary.emplace(key, value);
        handler(dictionary);
    });
}

void WormholeNavigator::sendFileMessage(std::string_view identifier, const Sync::SyncFileID& fileID)
{
    if (auto remote = fileID.remoteID())
        m_wormhole->sendMessage(std::string(identifier), *remote);
}

WormholeNavigator::Registration WormholeNavigator::onFileMessage(std::string_view identifier, std::function<void(const Sync::SyncFileID&)> handler)
{
    return m_wormhole->listenForMessages(std::string(identifier), [handler = std::move(handler)](const nlohmann::json& payload) {
        if (!payload.is_number_integer())
            return;
        handler(Sync::SyncFileID::remote(payload.get<std::int64_t>()));
    });
}

void WormholeNavigator::createPublicShareForFile(const Sync::SyncFileID& fileID) { sendFileMessage(createPublicShareIdentifier, fileID); }
void WormholeNavigator::createPrivateShareForFile(const Sync::SyncFileID& fileID) { sendFileMessage(createPrivateShareIdentifier, fileID); }

WormholeNavigator::Registration WormholeNavigator::onCreatePublicShare(std::function<void(const Sync::SyncFileID&)> handler)
{
    return onFileMessage(createPublicShareIdentifier, std::move(handler));
}

WormholeNavigator::Registration WormholeNavigator::onCreatePrivateShare(std::function<void(const Sync::SyncFileID&)> handler)
{
    return onFileMessage(createPrivateShareIdentifier, std::move(handler));
}

} // namespace Orvella
