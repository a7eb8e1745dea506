#include "Orvella/AppModule/RootEtagProviderAdapter.hpp"

#include "Quarlink/Errors/AnyPresentableError.hpp"

namespace Orvella {

RootEtagProviderAdapter::RootEtagProviderAdapter(std::shared_ptr<Sync::SyncAPIClient> syncAPIClient,
    std::shared_ptr<APIManager> apiManager, std::shared_ptr<UserNotificationCenter> notificationCenter)
    : m_syncAPIClient(std::move(syncAPIClient))
    , m_apiManager(std::move(apiManager))
    , m_notificationCenter(std::move(notificationCenter))
{
}

Reactive::SignalProducer<std::string, Reactive::NoError> RootEtagProviderAdapter::rootEtag()
{
    auto center = m_notificationCenter;
    auto apiManager = m_apiManager;
    const std::string identifier(notificationIdentifier);
    return m_syncAPIClient->syncRootEtag()
        .map([center, identifier](const std::string& etag) {
            center->removeDeliveredNotifications(identifier);
            return etag;
        })
        .flatMapError([center, apiManager, identifier](const Reactive::AnyError& error) {
            if (apiManager->isLoggedIn().value())
                center->deliver("Synchronisieren fehlgeschlagen", Quarlink::reason(error), identifier);
            return Reactive::SignalProducer<std::string, Reactive::NoError>::empty();
        });
}

} // namespace Orvella
