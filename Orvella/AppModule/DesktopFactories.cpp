#include "Orvella/AppModule/AppModuleFactories.hpp"

#include "Orvella/AppModule/BITCrashManager.hpp"
#include "Orvella/AppModule/ExtensionLoginObserver.hpp"
#include "Orvella/AppModule/KeptBindings.hpp"
#include "Orvella/Debug/LaunchArguments.hpp"
#include "Orvella/InfoPlistTools/InfoPlistTools.hpp"
#include "Orvella/Settings/CloudUserDefaults.hpp"
#include "Shared/SharedConstants.hpp"
#include "Platform/Desktop/DesktopNotifications.hpp"
#include "Platform/Desktop/ExtensionRegistry.hpp"

namespace Orvella {

ExtensionLoginObserver::ExtensionLoginObserver(std::shared_ptr<ExtensionManager> manager, const APIManager& apiManager)
    : m_manager(std::move(manager))
    , m_isLoggedIn(apiManager.isLoggedIn())
{
    std::weak_ptr<ExtensionManager> weakManager = m_manager;
    m_observation = m_isLoggedIn.signal().observeValues([weakManager](bool loggedIn) {
        auto manager = weakManager.lock();
        if (!manager)
            return;
        if (loggedIn)
            manager->registerExtension();
        else
            manager->unregisterExtension();
    });
}

ExtensionLoginObserver::~ExtensionLoginObserver() { m_observation.dispose(); }

namespace Factories {

namespace {

std::shared_ptr<ExtensionManager> newExtensionManager(const AppModuleEnvironment& environment)
{
    return std::make_shared<ExtensionManager>(ExtensionManager::Configuration {
        .bundleIdentifier = SharedConstants::glimmerdBundleIdentifier(),
        .extensionURL = environment.extensionURL.empty() ? ExtensionManager::defaultExtensionURL() : environment.extensionURL,
        .registry = environment.extensionRegistry ? environment.extensionRegistry
                                                  : std::make_shared<Platform::FileExtensionRegistry>(SharedConstants::groupContainerPath()),
        .mainScheduler = environment.mainQueue,
        .groupDirectory = SharedConstants::groupContainerPath(),
    });
}

} // namespace

Made<Platform::UserDefaults> userDefaults(Resolver&)
{
    auto suite = Platform::UserDefaults::open(SharedConstants::groupContainerPath());
    if (!suite)
        return std::unexpected(Reactive::AnyError(ServiceUnavailable("Die gemeinsamen Einstellungen können nicht geöffnet werden.")));
    CloudUserDefaults::registerCloudDefaults(**suite);
    return *suite;
}

Made<BITHockeyManager> hockeyManager(Resolver& resolver, const AppModuleEnvironment& environment)
{
    auto settings = resolver.resolve<SettingsManager>();
    if (!settings)
        return failed(settings);
    auto crashManager = resolver.resolve<BITCrashManager>();
    if (!crashManager)
        return failed(crashManager);
    auto metrics = std::make_shared<BITMetricsManager>(BITMetricsManager::defaultLogFile(SharedConstants::applicationIdentifier()));
    auto manager = std::make_shared<BITHockeyManager>(std::move(metrics));
    manager->configureWithIdentifier(InfoPlistTools::hockeyAppIdentifier());

    // Metrics are off exactly while usage tracking is; the switch is set on the main queue.
    manager->setDisableMetricsManager(!(*settings)->enableUsageTracking().value());
    Reactive::CompositeDisposable bindings;
    std::weak_ptr<BITHockeyManager> weakManager = manager;
    bindings += (*settings)->enableUsageTracking().signal().observeValues([weakManager, mainQueue = environment.mainQueue](bool enabled) {
        mainQueue->schedule([weakManager, enabled] {
            if (auto manager = weakManager.lock())
                manager->setDisableMetricsManager(!enabled);
        });
    });

    if (!LaunchArguments::contains(*environment.launchArguments, LaunchArguments::doNotShowCrashDetailsDialogueArgument)) {
        (*crashManager)->setAutoSubmitCrashReport(true);
        (*crashManager)->setAskUserDetails(false);
    }
    manager->startManager();
    return keepingBindings(std::move(manager), std::move(bindings));
}

Made<DesktopUserNotificationCenter> userNotificationCenter(Resolver& resolver)
{
    auto notifications = resolver.resolve<Platform::DesktopNotifications>();
    if (!notifications)
        return failed(notifications);
    auto center = std::make_shared<DesktopUserNotificationCenter>(*notifications);
    // The container holds the delegate; the centre only points at it.
    auto delegate = resolver.injectOptional<UserNotificationCenterDelegate>();
    if (!delegate)
        return failed(delegate);
    if (*delegate)
        center->setDelegate(std::shared_ptr<const UserNotificationCenterDelegate>(*delegate));
    return center;
}

Made<ExtensionManager> extensionManager(Resolver& resolver, const AppModuleEnvironment& environment)
{
    auto apiManager = resolver.resolve<APIManager>();
    if (!apiManager)
        return failed(apiManager);
    auto observer = resolver.resolve<ExtensionLoginObserver>();
    if (!observer)
        return failed(observer);
    return newExtensionManager(environment);
}

Made<ExtensionLoginObserver> extensionLoginObserver(Resolver& resolver, const AppModuleEnvironment& environment)
{
    auto apiManager = resolver.resolve<APIManager>();
    if (!apiManager)
        return failed(apiManager);
    return std::make_shared<ExtensionLoginObserver>(newExtensionManager(environment), **apiManager);
}

} // namespace Factories

} // namespace Orvella
