#include "Orvella/AppModule/AppModule.hpp"

#include "Orvella/AppModule/AppModuleFactories.hpp"
#include "Orvella/AppModule/BITCrashManager.hpp"
#include "Orvella/AppModule/RootEtagProviderAdapter.hpp"
#include "Orvella/AppModule/SyncEventProvider.hpp"
#include "Orvella/Credentials/KeychainCredentialStore.hpp"
#include "Orvella/Debug/LaunchArguments.hpp"
#include "Orvella/Notifications/UserNotificationCenter.hpp"
#include "Orvella/Notifications/UserNotificationCenterConfiguration.hpp"
#include "Orvella/Presentation/AlertPresenter.hpp"
#include "Orvella/Popover/PopoverFilesProvider.hpp"
#include "Orvella/Popover/QuotaProvider.hpp"
#include "Orvella/Popover/SyncNotices.hpp"
#include "Orvella/Service/EmailDomainPartCredentialSanitizer.hpp"
#include "Orvella/Service/SyncAPIClientAdapter.hpp"
#include "Orvella/SessionRefresher/AlertSessionRefresher.hpp"
#include "Orvella/Settings/CloudAPIEnvironmentStore.hpp"
#include "Orvella/Settings/SettingsManagerFileSystemFileStoreConfiguration.hpp"
#include "Orvella/Sharing/PrivateShareService.hpp"
#include "Orvella/Sharing/PublicShareService.hpp"
#include "Shared/SharedConstants.hpp"
#include "Shared/ThemeType.hpp"
#include "Shared/WormholeNavigator.hpp"
#include "Orvella/StatusItem/SyncStatusProvider.hpp"
#include "Orvella/SyncSetup/CloudSyncConfiguration.hpp"
#include "Orvella/Tracking/HockeyTrackingManager.hpp"
#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Platform/Desktop/DesktopNotifications.hpp"
#include "Platform/Desktop/DistributedNotificationCenter.hpp"
#include "Platform/Desktop/Keychain.hpp"
#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Platform/Network/URLSessionConfiguration.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/Schedule/SyncScheduler.hpp"
#include "Sync/Watch/CloudFolderWatcher.hpp"


namespace Orvella {

namespace {

// The scheduler's state as the tray reads it.
class SchedulerStatusProvider final : public SyncStatusProvider {
public:
    explicit SchedulerStatusProvider(std::shared_ptr<Sync::SyncScheduler> scheduler) : m_scheduler(std::move(scheduler)) {}
    [[nodiscard]] Reactive::Property<Sync::SyncStatus> status() const override { return m_scheduler->status(); }

private:
    std::shared_ptr<Sync::SyncScheduler> m_scheduler;
};

} // namespace

AppModule::AppModule(UserInterfaceRegistration registerUserInterface, AppModuleEnvironment environment)
    : m_registerUserInterface(std::move(registerUserInterface))
    , m_environment(std::move(environment))
{
    if (!m_environment.mainQueue)
        m_environment.mainQueue = Reactive::MainQueueScheduler::make();
    if (!m_environment.launchArguments)
        m_environment.launchArguments = LaunchArguments::processArguments();
    if (!m_environment.settingsContext) {
        auto context = SettingsManagerContext::standard();
        context.mainQueue = m_environment.mainQueue;
        m_environment.settingsContext = std::move(context);
    }
}

// The bindings come in the order the application has always registered them;
// the order does not constrain resolution (an alias may precede its target).
void AppModule::configure(Binder& binder)
{
    binder.addBinding<ClientConfiguration>(Scope::transient, [](Resolver&) { return std::make_shared<BrisantoClientConfiguration>(); });
    binder.addBinding<ThemeType>(Scope::transient, [](Resolver&) { return std::make_shared<BrisantoTheme>(); });
    configureDesktop(binder);
    configureAPIClient(binder);
    configureSyncEngine(binder);
    configureNotifications(binder);
    configureServedInterfaces(binder);
    configureExtension(binder);
    if (m_registerUserInterface)
        m_registerUserInterface(binder);
}

void AppModule::configureDesktop(Binder& binder) const
{
    binder.addBinding<Platform::DistributedNotificationCenter>(Scope::single,
        [](Resolver&) -> Factories::Made<Platform::DistributedNotificationCenter> {
            auto center = Platform::DistributedNotificationCenter::open(SharedConstants::groupContainerPath() / "notifications");
            if (!center)
                return std::unexpected(Reactive::AnyError(Factories::ServiceUnavailable(
                    "Der Mitteilungskanal zwischen den Prozessen kann nicht geöffnet werden: " + center.error().message())));
            return *center;
        });
    binder.addBinding<WormholeNavigator>(Scope::single, [](Resolver& resolver) -> Factories::Made<WormholeNavigator> {
        auto center = resolver.resolve<Platform::DistributedNotificationCenter>();
        if (!center)
            return std::unexpected(Reactive::AnyError(center.error()));
        auto wormhole = Platform::Wormhole::create({
            .applicationGroupDirectory = SharedConstants::groupContainerPath(),
            .directoryName = "wormhole",
            .notificationCenter = *center,
            .timeoutScheduler = nullptr,
            .loggingEnabled = false,
        });
        if (!wormhole)
            return std::unexpected(Reactive::AnyError(
                Factories::ServiceUnavailable("Der Nachrichtenkanal zur Erweiterung kann nicht geöffnet werden: " + wormhole.error().message())));
        return std::make_shared<WormholeNavigator>(*wormhole);
    });
    binder.addBinding<BITCrashManager>(Scope::single, [](Resolver&) { return std::make_shared<BITCrashManager>(); });
    binder.addBinding<BITHockeyManager>(Scope::single,
        [environment = m_environment](Resolver& resolver) { return Factories::hockeyManager(resolver, environment); });
    binder.addBinding<TrackingManager>(Scope::single, [](Resolver& resolver) -> Factories::Made<TrackingManager> {
        auto settings = resolver.resolve<SettingsManager>();
        if (!settings)
            return std::unexpected(Reactive::AnyError(settings.error()));
        auto hockey = resolver.resolve<BITHockeyManager>();
        if (!hockey)
            return std::unexpected(Reactive::AnyError(hockey.error()));
        std::shared_ptr<Reactive::MutableProperty<bool>> installTracked(*settings, &(*settings)->appInstallTracked());
        return std::make_shared<HockeyTrackingManager>((*settings)->enableUsageTracking(), installTracked, *hockey);
    });
    binder.addBinding<Platform::UserDefaults>(Scope::single, [](Resolver& resolver) { return Factories::userDefaults(resolver); });
    binder.addBinding<SettingsManager>(Scope::single, [context = *m_environment.settingsContext](Resolver& resolver) {
        return resolver.construct([&context](std::shared_ptr<ClientConfiguration> configuration, std::shared_ptr<Platform::UserDefaults> defaults) {
            return SettingsManager::create(*configuration, std::move(defaults), context);
        });
    });
    binder.bind<Sync::FileSystemFileStoreConfiguration, SettingsManagerFileSystemFileStoreConfiguration, SettingsManager>(Scope::transient);
}

void AppModule::configureAPIClient(Binder& binder) const
{
    binder.addBinding<Platform::URLSessionConfiguration>(Scope::single, [](Resolver&) {
        // The client's session keeps its own cookies; transfers end with the process.
        return std::make_shared<Platform::URLSessionConfiguration>();
    });
    binder.bind<CredentialSanitizer>(Scope::transient, [](std::shared_ptr<ClientConfiguration> configuration) {
        return std::make_shared<EmailDomainPartCredentialSanitizer>(configuration->emailAddressDomain());
    });
    binder.addBinding<KeychainAccess>(Scope::transient, [busAddress = m_environment.keychainBusAddress](Resolver&) {
        const auto& identifier = SharedConstants::applicationIdentifier();
        if (identifier.empty())
            fatalError("bundle id could not be determined");
        return std::make_shared<DesktopKeychainAccess>(Platform::Keychain::create({ .service = identifier, .busAddress = busAddress }));
    });
    binder.bind<CloudAPIEnvironmentStore, CloudAPIEnvironmentStore, SettingsManager>(Scope::single);
    binder.alias<Quarlink::APIEndpointStore, CloudAPIEnvironmentStore>();
    binder.addBinding<Quarlink::SessionRefresher>(Scope::single, [mainQueue = m_environment.mainQueue](Resolver& resolver) {
        return std::make_shared<AlertSessionRefresher>(resolver, mainQueue);
    });
    binder.bind<Sync::SyncAPIClient>(Scope::single, [](std::shared_ptr<APIClientManager> manager) {
        return std::make_shared<SyncAPIClientAdapter>(
            SyncAPIClientAdapter::Collaborators { .apiClient = manager->apiClient(), .apiManager = manager });
    });
    binder.addBinding<KeychainCredentialStore>(Scope::single, [mainQueue = m_environment.mainQueue](Resolver& resolver) {
        // A password that could not be kept is told in an alert where the
        // user interface shows them, else as a desktop notification.
        auto tellUser = [&resolver, mainQueue](const std::string& title, const std::string& text) {
            mainQueue->schedule([&resolver, title, text] {
                if (auto alerts = resolver.resolve<AlertPresenter>()) {
                    (*alerts)->runModal(Alert { .messageText = title, .informativeText = text, .style = AlertStyle::warning });
                } else if (auto notifications = resolver.resolve<UserNotificationCenter>()) {
                    (*notifications)->deliver(title, text);
                }
            });
        };
        return resolver.construct([tellUser](std::shared_ptr<KeychainAccess> keychain, std::shared_ptr<SettingsManager> settings) {
            std::shared_ptr<KeychainCredentialStore::UserName> userName(settings, &settings->lastLoggedInUserName());
            return std::make_shared<KeychainCredentialStore>(std::move(keychain), std::move(userName), tellUser);
        });
    });
    binder.alias<Quarlink::CredentialStore, KeychainCredentialStore>();
    binder.alias<CredentialHolder, KeychainCredentialStore>();
    binder.addBinding<APIClientManager>(Scope::single,
        [environment = m_environment](Resolver& resolver) { return Factories::apiClientManager(resolver, environment); });
    binder.alias<APIManager, APIClientManager>();
    binder.addBinding<SUUpdater>(Scope::transient, [](Resolver&) {
        static const auto updater = std::make_shared<SUUpdater>();
        updater->setSendsSystemProfile(false);
        return updater;
    });
}

void AppModule::configureSyncEngine(Binder& binder) const
{
    binder.addBinding<Platform::OwnChangeRegistry>(Scope::single, [](Resolver&) { return Platform::OwnChangeRegistry::create(); });
    binder.bind<Sync::FileSystemFileStore>(Scope::single,
        [](std::shared_ptr<Sync::FileSystemFileStoreConfiguration> configuration, std::shared_ptr<Platform::OwnChangeRegistry> ownChanges) {
            return std::make_shared<Sync::FileSystemFileStore>(std::move(configuration), std::move(ownChanges));
        });
    binder.alias<Sync::CloudFolderPreparator, CloudSetupHelper>();
    binder.bind<Sync::CloudFolderProvider>(Scope::transient, &Factories::cloudFolderAdapter);
    binder.bind<Sync::FileSystemTrigger>(Scope::transient,
        [](std::shared_ptr<Sync::CloudFolderProvider> provider, std::shared_ptr<Platform::OwnChangeRegistry> ownChanges) {
            return std::make_shared<Sync::CloudFolderWatcher>(std::move(provider), Sync::FileSystemEventsWatcherOptions { .ownChanges = std::move(ownChanges) });
        });
    binder.addBinding<Platform::DatabaseConfiguration>(Scope::transient, [](Resolver&) {
        return std::make_shared<Platform::DatabaseConfiguration>(
            Sync::cloudDatabaseConfiguration(SharedConstants::groupContainerPath() / "Cloud.realm"));
    });
    binder.addBinding<Platform::Database>(Scope::transient, [](Resolver& resolver) { return Factories::database(resolver); });
    binder.addBinding<Sync::FileStore>(Scope::single,
        [environment = m_environment](Resolver& resolver) { return Factories::fileStore(resolver, environment); });
    binder.addBinding<Sync::FileSyncStatusStore>(Scope::single,
        [environment = m_environment](Resolver& resolver) { return Factories::fileSyncStatusStore(resolver, environment); });
    binder.addBinding<Sync::FileReferenceMapping>(Scope::single, [](Resolver& resolver) { return Factories::fileReferenceMapping(resolver); });
    binder.addBinding<Sync::SyncManager>(Scope::single, [](Resolver& resolver) { return Factories::syncManager(resolver); });
    binder.addBinding<SyncNotices>(Scope::single, [](Resolver&) { return std::make_shared<SyncNotices>(); });
    binder.alias<Sync::SyncExecutor, Sync::SyncManager>();
    binder.addBinding<CloudSetupHelper>(Scope::single, [](Resolver& resolver) { return Factories::cloudSetupHelper(resolver); });
    binder.bind<Sync::RootEtagProvider, RootEtagProviderAdapter, Sync::SyncAPIClient, APIManager, UserNotificationCenter>(Scope::transient);
    binder.bind<Sync::SyncConfiguration>(Scope::single,
        [](std::shared_ptr<ClientConfiguration> configuration, std::shared_ptr<APIManager> apiManager, std::shared_ptr<SettingsManager> settings) {
            return std::make_shared<CloudSyncConfiguration>(*configuration, apiManager->isLoggedIn(), apiManager->reachability(), settings->isSyncEnabled());
        });
    binder.bind<Sync::SyncScheduler>(Scope::single,
        [](std::shared_ptr<Sync::SyncConfiguration> configuration, std::shared_ptr<Sync::CloudFolderPreparator> preparator,
            std::shared_ptr<Sync::SyncExecutor> executor, std::shared_ptr<Sync::FileSystemTrigger> trigger,
            std::shared_ptr<Sync::RootEtagProvider> etagProvider) {
            return std::make_shared<Sync::SyncScheduler>(std::move(configuration), std::move(preparator), std::move(executor),
                std::move(trigger), std::move(etagProvider));
        });
}

void AppModule::configureNotifications(Binder& binder) const
{
    binder.addBinding<Platform::DesktopNotifications>(Scope::single, [busAddress = m_environment.busAddress](Resolver& resolver) {
        auto configuration = resolver.resolve<ClientConfiguration>();
        std::string name = configuration ? (*configuration)->clientName() : SharedConstants::applicationIdentifier();
        return Platform::DesktopNotifications::create({ .applicationName = std::move(name), .busAddress = busAddress });
    });
    binder.bind<UserNotificationCenterDelegate>(Scope::single, [](std::shared_ptr<SettingsManager> settings) {
        return std::make_shared<UserNotificationCenterConfiguration>(
            settings->enableDesktopNotifications(), UserNotificationCenterConfiguration::NotificationBehavior::displayWhenFocused);
    });
    binder.addBinding<DesktopUserNotificationCenter>(Scope::transient, [](Resolver& resolver) { return Factories::userNotificationCenter(resolver); });
    binder.alias<UserNotificationCenter, DesktopUserNotificationCenter>();
}

// What the user interface reads of the core services, each answered by the one instance that serves it.
void AppModule::configureServedInterfaces(Binder& binder) const
{
    binder.alias<SyncEnabler, SettingsManager>();
    binder.alias<EnvironmentSwitcher, SettingsManager>();
    binder.alias<QuotaProvider, APIClientManager>();
    binder.alias<PopoverFilesProvider, APIClientManager>();
    binder.alias<AlertSessionRefresherDelegate, APIClientManager>();
    binder.bind<PrivateShareService>(Scope::transient, [](std::shared_ptr<APIClientManager> manager) { return manager->privateShareService(); });
    binder.bind<PublicShareService>(Scope::transient, [](std::shared_ptr<APIClientManager> manager) { return manager->publicShareService(); });
    binder.bind<SyncStatusProvider>(Scope::transient,
        [](std::shared_ptr<Sync::SyncScheduler> scheduler) { return std::make_shared<SchedulerStatusProvider>(std::move(scheduler)); });
    binder.bind<SyncEventProvider>(Scope::transient,
        [](std::shared_ptr<Sync::SyncManager> manager) { return std::make_shared<SyncManagerEventProvider>(std::move(manager)); });
}

void AppModule::configureExtension(Binder& binder) const
{
    binder.addBinding<ExtensionLoginObserver>(Scope::single,
        [environment = m_environment](Resolver& resolver) { return Factories::extensionLoginObserver(resolver, environment); });
    binder.addBinding<ExtensionManager>(Scope::transient,
        [environment = m_environment](Resolver& resolver) { return Factories::extensionManager(resolver, environment); });
}

} // namespace Orvella
