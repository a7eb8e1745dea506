#pragma once

#include "Orvella/Launch/LaunchSeams.hpp"
#include "Shared/WormholeNavigator.hpp"
#include "Platform/Foundation/UserDefaults.hpp"

#include <memory>

namespace Orvella {

// The launch's channel to the extension over the message channel, sending
// the shared settings suite on every change.
class WormholeLaunchChannel final : public LaunchChannel {
public:
    WormholeLaunchChannel(std::shared_ptr<WormholeNavigator> wormhole, std::shared_ptr<Platform::UserDefaults> sharedSuite)
        : m_wormhole(std::move(wormhole))
        , m_sharedSuite(std::move(sharedSuite))
    {
    }
    void replyToPings() override { m_wormhole->replyToPings(); }
    Registration onCreatePublicShare(std::function<void(const Sync::SyncFileID&)> handler) override
    {
        return m_wormhole->onCreatePublicShare(std::move(handler));
    }
    Registration onCreatePrivateShare(std::function<void(const Sync::SyncFileID&)> handler) override
    {
        return m_wormhole->onCreatePrivateShare(std::move(handler));
    }
    void reloadUserDefaults() override { m_wormhole->reloadUserDefaults(*m_sharedSuite); }

private:
    std::shared_ptr<WormholeNavigator> m_wormhole;
    std::shared_ptr<Platform::UserDefaults> m_sharedSuite;
};

} // namespace Orvella
