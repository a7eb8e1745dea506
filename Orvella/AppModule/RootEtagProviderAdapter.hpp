#pragma once

#include "Orvella/Notifications/UserNotificationCenter.hpp"
#include "Orvella/Service/APIManager.hpp"
#include "Sync/Remote/SyncAPIClient.hpp"
#include "Sync/Schedule/RootEtagProvider.hpp"

#include <memory>

namespace Orvella {

// The remote root etag for the sync scheduler, over the engine's API client.
// A success withdraws the "sync-error" notification; a failure shows it
// ("Synchronisieren fehlgeschlagen" with the error's reason) only while
// logged in, and ends without a value: the scheduler never sees an error.
// Notifications go out on the thread that delivers the answer.
class RootEtagProviderAdapter final : public Sync::RootEtagProvider {
public:
    static constexpr std::string_view notificationIdentifier = "sync-error";

    RootEtagProviderAdapter(std::shared_ptr<Sync::SyncAPIClient> syncAPIClient, std::shared_ptr<APIManager> apiManager,
        std::shared_ptr<UserNotificationCenter> notificationCenter);

    [[nodiscard]] Reactive::SignalProducer<std::string, Reactive::NoError> rootEtag() override;

private:
    std::shared_ptr<Sync::SyncAPIClient> m_syncAPIClient;
    std::shared_ptr<APIManager> m_apiManager;
    std::shared_ptr<UserNotificationCenter> m_notificationCenter;
};

} // namespace Orvella
