#include "Orvella/AppModule/AppModuleFactories.hpp"

#include "Orvella/AppModule/KeptBindings.hpp"
#include "Orvella/SessionRefresher/AlertSessionRefresher.hpp"
#include "Platform/Network/URLSessionConfiguration.hpp"
#include "Quarlink/Client/URLSessionAPIClient.hpp"
#include "Quarlink/Reports/ErrorReports.hpp"
#include "Quarlink/Requests/ClientAnnouncements.hpp"
#include "Quarlink/Session/WorldID.hpp"
#include "Reactive/BindingTarget.hpp"

#include <atomic>

namespace Orvella::Factories {

namespace {

struct CreationFailure {
    std::string message;
    [[nodiscard]] std::string description() const { return "API client: " + message; }
};

// The (title, text) of a login or logout notification. The customer data
// usually arrive after the login state changes; the credentials, which made
// that change, name the user then.
std::pair<std::string, std::string> loginNotification(bool loggedIn, const ClientConfiguration& configuration,
    const std::optional<Quarlink::CustomerInfo>& customer, const std::optional<Quarlink::Credentials>& credentials)
{
    if (!loggedIn)
        return { "Abgemeldet bei " + configuration.clientName(), "Sie sind nicht länger angemeldet." };
    std::string user = "unknown";
    if (customer && !customer->email.empty())
        user = customer->email;
    else if (credentials && !credentials->username.empty())
        user = credentials->username;
    return { "Angemeldet bei " + configuration.clientName(), user + " ist angemeldet." };
}

} // namespace

Made<APIClientManager> apiClientManager(Resolver& resolver, const AppModuleEnvironment& environment)
{
    auto sessionConfiguration = resolver.resolve<Platform::URLSessionConfiguration>();
    if (!sessionConfiguration)
        return failed(sessionConfiguration);
    auto credentialStore = resolver.resolve<Quarlink::CredentialStore>();
    if (!credentialStore)
        return failed(credentialStore);
    auto endpointStore = resolver.resolve<Quarlink::APIEndpointStore>();
    if (!endpointStore)
        return failed(endpointStore);
    auto client = Quarlink::URLSessionAPIClient::create(**sessionConfiguration, *credentialStore, *endpointStore,
        environment.reachabilityMonitor ? environment.reachabilityMonitor() : nullptr);
    if (!client)
        return std::unexpected(Reactive::AnyError(CreationFailure { client.error().message }));
    std::shared_ptr<Quarlink::APIClient> apiClient = *client;

    auto refresher = resolver.resolve<Quarlink::SessionRefresher>();
    if (!refresher)
        return failed(refresher);
    Quarlink::setSessionRefresher(*apiClient, *refresher);
    auto configuration = resolver.resolve<ClientConfiguration>();
    if (!configuration)
        return failed(configuration);
    Quarlink::setWorldID(*apiClient, (*configuration)->worldID());

    Reactive::CompositeDisposable bindings;
    bindings += Reactive::bind(Quarlink::reports(apiClient, Quarlink::ReportConfiguration(), environment.mainQueue),
        Quarlink::errorInfos(*apiClient));

    auto sanitizer = resolver.resolve<CredentialSanitizer>();
    if (!sanitizer)
        return failed(sanitizer);
    auto settings = resolver.resolve<SettingsManager>();
    if (!settings)
        return failed(settings);
    auto holder = resolver.resolve<CredentialHolder>();
    if (!holder)
        return failed(holder);
    auto manager = APIClientManager::create({
        .apiClient = apiClient,
        .sanitizer = *sanitizer,
        .settingsManager = *settings,
        .credentialHolder = *holder,
    });

    if (auto alertRefresher = std::dynamic_pointer_cast<AlertSessionRefresher>(*refresher))
        alertRefresher->setDelegate(std::static_pointer_cast<AlertSessionRefresherDelegate>(manager));

    auto center = resolver.resolve<DesktopUserNotificationCenter>();
    if (!center)
        return failed(center);
    auto brand = resolver.resolve<ClientConfiguration>();
    if (!brand)
        return failed(brand);

    // The state at start-up is no change; a write of the same state is none either.
    std::weak_ptr<APIClientManager> weakManager = manager;
    auto isFirst = std::make_shared<std::atomic<bool>>(true);
    // The derived login state lives as long as the binding that reads it.
    auto isLoggedIn = manager->isLoggedIn();
    bindings += isLoggedIn
                    .producer()
                    .skipRepeats()
                    .filter([isFirst, isLoggedIn](bool) { return !isFirst->exchange(false); })
                    .map([weakManager, brand = *brand, credentials = *holder](bool loggedIn) {
                        auto manager = weakManager.lock();
                        return loginNotification(
                            loggedIn, *brand, manager ? manager->customerInfo().value() : std::nullopt, credentials->credentials().value());
                    })
                    .observeOn(environment.mainQueue)
                    .startWithValues([center = *center](const std::pair<std::string, std::string>& notification) {
                        center->deliver(notification.first, notification.second);
                    });
    return keepingBindings(std::move(manager), std::move(bindings));
}

} // namespace Orvella::Factories
