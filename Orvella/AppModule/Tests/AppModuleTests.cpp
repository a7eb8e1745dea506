#include "Orvella/AppModule/Tests/AppModuleFixture.hpp"
#include "Orvella/Debug/LaunchArguments.hpp"

#include "Orvella/AppModule/BITCrashManager.hpp"
#include "Orvella/AppModule/PopoverContentBinding.hpp"
#include "Orvella/AppModule/SUUpdater.hpp"
#include "Orvella/AppModule/SyncEventProvider.hpp"
#include "Orvella/Credentials/KeychainCredentialStore.hpp"
#include "Orvella/Extension/ExtensionManager.hpp"
#include "Orvella/Notifications/UserNotificationCenter.hpp"
#include "Orvella/Notifications/UserNotificationCenterConfiguration.hpp"
#include "Orvella/Popover/PopoverFilesProvider.hpp"
#include "Orvella/Popover/QuotaProvider.hpp"
#include "Orvella/Service/APIClientManager.hpp"
#include "Orvella/Service/SyncAPIClientAdapter.hpp"
#include "Orvella/Settings/CloudAPIEnvironmentStore.hpp"
#include "Orvella/Sharing/PrivateShareService.hpp"
#include "Orvella/Sharing/PublicShareService.hpp"
#include "Shared/SharedConstants.hpp"
#include "Shared/ThemeType.hpp"
#include "Shared/WormholeNavigator.hpp"
#include "Orvella/StatusItem/SyncStatusProvider.hpp"
#include "Orvella/SyncSetup/CloudSetupHelper.hpp"
#include "Orvella/Tracking/BITHockeyManager.hpp"
#include "Orvella/Tracking/TrackingManager.hpp"
#include "Platform/Database/Database.hpp"
#include "Platform/Desktop/DesktopNotifications.hpp"
#include "Platform/Desktop/DistributedNotificationCenter.hpp"
#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Platform/Network/URLSessionConfiguration.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/References/FileReferenceMapping.hpp"
#include "Sync/Store/FileStore.hpp"
#include "Sync/Schedule/SyncScheduler.hpp"
#include "Sync/Status/FileSyncStatusStore.hpp"
#include "Sync/Store/FileStore.hpp"
#include "Sync/Watch/CloudFolderProvider.hpp"
#include "Sync/Watch/FileSystemTrigger.hpp"

using namespace Orvella;
using namespace Orvella::Testing;

namespace {

// The registry file of the group directory, counting what the application asks of it.
class CountingRegistry final : public Platform::ExtensionRegistry {
public:
    explicit CountingRegistry(std::filesystem::path folder) : m_file(std::move(folder)) {}
    bool add(const std::string& identifier, const std::filesystem::path& executable) override
    {
        ++adds;
        return m_file.add(identifier, executable);
    }
    bool use(const std::string& identifier) override
    {
        ++uses;
        return m_file.use(identifier);
    }
    bool ignore(const std::string& identifier) override
    {
        ++ignores;
        return m_file.ignore(identifier);
    }
    bool remove(const std::filesystem::path& executable) override
    {
        ++removes;
        return m_file.remove(executable);
    }
    [[nodiscard]] std::optional<Platform::ExtensionRegistration> registration(const std::string& identifier) const
    {
        return m_file.registration(identifier);
    }

    std::atomic<int> adds { 0 }, uses { 0 }, ignores { 0 }, removes { 0 };

private:
    Platform::FileExtensionRegistry m_file;
};

class AppModuleTests : public AppModuleFixture {};

// Headless popover contents.
struct PopoverContent {
    virtual ~PopoverContent() = default;
};
struct LoggedInContent final : PopoverContent {};
struct LoggedOutContent final : PopoverContent {};

template<class... Keys>
void expectEveryKeyResolves(Resolver& resolver)
{
    auto check = [&resolver]<class Key>(std::type_identity<Key>) {
        auto resolution = resolver.resolve<Key>();
        EXPECT_TRUE(resolution.has_value()) << typeid(Key).name() << ": " << (resolution ? "" : resolution.error().description());
        EXPECT_TRUE(resolution && *resolution) << typeid(Key).name();
    };
    (check(std::type_identity<Keys> {}), ...);
}

} // namespace

TEST_F(AppModuleTests, EveryKeyOfTheCoreResolves)
{
    // With the headless user interface, every key the application core registers resolves, in a fresh home and group directory.
    auto& resolver = buildContainer();
    expectEveryKeyResolves<ClientConfiguration, ThemeType, Platform::DistributedNotificationCenter, WormholeNavigator, BITHockeyManager,
        BITCrashManager, TrackingManager, Platform::UserDefaults, SettingsManager, Sync::FileSystemFileStoreConfiguration,
        Platform::URLSessionConfiguration, CredentialSanitizer, KeychainAccess, CloudAPIEnvironmentStore, Quarlink::APIEndpointStore,
        Quarlink::SessionRefresher, Sync::SyncAPIClient, KeychainCredentialStore, Quarlink::CredentialStore, CredentialHolder, APIManager,
        APIClientManager, SUUpdater, Platform::OwnChangeRegistry, Sync::FileSystemFileStore, Sync::CloudFolderPreparator,
        Sync::CloudFolderProvider, Sync::FileSystemTrigger, Platform::DatabaseConfiguration, Platform::Database, Sync::FileStore,
        Sync::FileSyncStatusStore, Sync::FileReferenceMapping, Sync::SyncManager, Sync::SyncExecutor, CloudSetupHelper,
        Sync::RootEtagProvider, Sync::SyncConfiguration, Sync::SyncScheduler, Platform::DesktopNotifications,
        UserNotificationCenterDelegate, DesktopUserNotificationCenter, UserNotificationCenter, SyncEnabler, EnvironmentSwitcher,
        QuotaProvider, PopoverFilesProvider, AlertSessionRefresherDelegate, PrivateShareService, PublicShareService, SyncStatusProvider,
        SyncEventProvider, ExtensionManager, PasswordWindowNavigator>(resolver);
    EXPECT_TRUE(std::filesystem::exists(groupFolder() / "Cloud.realm"));
}

TEST_F(AppModuleTests, SharedServicesAreOneInstanceBehindEveryKey)
{
    // One manager behind all its interfaces, one settings manager, one credential store, one sync manager; transients are new at each resolution.
    buildContainer();
    auto manager = resolved<APIClientManager>();
    ASSERT_TRUE(manager);
    EXPECT_EQ(dynamic_cast<APIClientManager*>(resolved<APIManager>().get()), manager.get());
    EXPECT_TRUE(dynamic_cast<SyncAPIClientAdapter*>(resolved<Sync::SyncAPIClient>().get()));
    EXPECT_EQ(resolved<Sync::SyncAPIClient>(), resolved<Sync::SyncAPIClient>());
    EXPECT_EQ(dynamic_cast<APIClientManager*>(resolved<QuotaProvider>().get()), manager.get());
    EXPECT_EQ(dynamic_cast<APIClientManager*>(resolved<PopoverFilesProvider>().get()), manager.get());
    EXPECT_EQ(dynamic_cast<APIClientManager*>(resolved<AlertSessionRefresherDelegate>().get()), manager.get());
    EXPECT_EQ(resolved<PublicShareService>(), manager->publicShareService());
    EXPECT_EQ(resolved<PrivateShareService>(), manager->privateShareService());

    auto settings = resolved<SettingsManager>();
    EXPECT_EQ(dynamic_cast<SettingsManager*>(resolved<SyncEnabler>().get()), settings.get());
    EXPECT_EQ(dynamic_cast<SettingsManager*>(resolved<EnvironmentSwitcher>().get()), settings.get());
    EXPECT_EQ(manager->settingsManager(), settings);
    auto credentials = resolved<KeychainCredentialStore>();
    EXPECT_EQ(dynamic_cast<KeychainCredentialStore*>(resolved<CredentialHolder>().get()), credentials.get());
    EXPECT_EQ(dynamic_cast<KeychainCredentialStore*>(resolved<Quarlink::CredentialStore>().get()), credentials.get());
    EXPECT_EQ(manager->apiClient()->credentialStore().get(), static_cast<Quarlink::CredentialStore*>(credentials.get()));

    // The scheduler first: it builds the sync manager and the stores once; later keys meet the same objects.
    auto scheduler = resolved<Sync::SyncScheduler>();
    auto syncManager = resolved<Sync::SyncManager>();
    EXPECT_EQ(dynamic_cast<Sync::SyncManager*>(resolved<Sync::SyncExecutor>().get()), syncManager.get());
    auto events = std::dynamic_pointer_cast<SyncManagerEventProvider>(resolved<SyncEventProvider>());
    ASSERT_TRUE(events);
    EXPECT_EQ(events->manager(), syncManager);
    EXPECT_EQ(syncManager->fileStore(), resolved<Sync::FileStore>());
    EXPECT_EQ(syncManager->fileSyncStatusStore(), resolved<Sync::FileSyncStatusStore>());
    EXPECT_EQ(syncManager->fileReferenceMapping(), resolved<Sync::FileReferenceMapping>());
    EXPECT_EQ(dynamic_cast<CloudSetupHelper*>(resolved<Sync::CloudFolderPreparator>().get()), resolved<CloudSetupHelper>().get());
    EXPECT_EQ(resolved<Sync::SyncConfiguration>(), resolved<Sync::SyncConfiguration>());

    EXPECT_NE(resolved<Platform::Database>(), resolved<Platform::Database>());
    EXPECT_NE(resolved<Sync::CloudFolderProvider>(), resolved<Sync::CloudFolderProvider>());
    EXPECT_NE(resolved<Sync::RootEtagProvider>(), resolved<Sync::RootEtagProvider>());
    EXPECT_NE(resolved<ExtensionManager>(), resolved<ExtensionManager>());
    EXPECT_EQ(resolved<Quarlink::SessionRefresher>(), resolved<Quarlink::SessionRefresher>());
}

TEST_F(AppModuleTests, TheNotificationDelegateIsOneObjectSetOnEveryCentre)
{
    // Two resolutions of the centre give two centres with the one delegate the container holds; it follows the setting.
    buildContainer();
    auto delegate = resolved<UserNotificationCenterDelegate>();
    EXPECT_EQ(resolved<UserNotificationCenterDelegate>(), delegate);
    EXPECT_NE(resolved<DesktopUserNotificationCenter>(), resolved<DesktopUserNotificationCenter>());
    auto configuration = std::dynamic_pointer_cast<UserNotificationCenterConfiguration>(delegate);
    ASSERT_TRUE(configuration);
    EXPECT_EQ(configuration->behavior(), UserNotificationCenterConfiguration::NotificationBehavior::displayWhenFocused);
    auto settings = resolved<SettingsManager>();
    settings->enableDesktopNotifications().set(false);
    EXPECT_FALSE(delegate->userNotificationCenterShouldPresentNotifications());
    settings->enableDesktopNotifications().set(true);
    EXPECT_TRUE(delegate->userNotificationCenterShouldPresentNotifications());
}

TEST_F(AppModuleTests, MetricsFollowTheTrackingSettingOnTheMainQueue)
{
    // The metrics switch is the inverse of usage tracking from the start and follows every change once the main queue runs.
    buildContainer();
    auto settings = resolved<SettingsManager>();
    settings->enableUsageTracking().set(true);
    auto hockey = resolved<BITHockeyManager>();
    EXPECT_TRUE(hockey->isStarted());
    EXPECT_FALSE(hockey->isMetricsManagerDisabled());
    EXPECT_FALSE(hockey->identifier().empty());
    settings->enableUsageTracking().set(false);
    m_mainQueue->advance();
    EXPECT_TRUE(hockey->isMetricsManagerDisabled());
    EXPECT_EQ(hockey->metricsManager(), nullptr);
    settings->enableUsageTracking().set(true);
    m_mainQueue->advance();
    EXPECT_FALSE(hockey->isMetricsManagerDisabled());
    EXPECT_EQ(resolved<BITHockeyManager>(), hockey);
}

TEST_F(AppModuleTests, CrashReportsAreSentUnlessTheArgumentSaysOtherwise)
{
    // Without the argument crash reports go out without asking; with exactly that argument the library's defaults stay.
    buildContainer();
    ASSERT_TRUE(resolved<BITHockeyManager>());
    auto crash = resolved<BITCrashManager>();
    EXPECT_TRUE(crash->autoSubmitCrashReport());
    EXPECT_FALSE(crash->askUserDetails());

    m_launchArguments = { "orvella", "DO_NOT_SHOW_CRASH_DETAILS_DIALOGUE" };
    buildContainer();
    ASSERT_TRUE(resolved<BITHockeyManager>());
    crash = resolved<BITCrashManager>();
    EXPECT_FALSE(crash->autoSubmitCrashReport());
    EXPECT_TRUE(crash->askUserDetails());

    EXPECT_FALSE(LaunchArguments::contains({ "orvella", "DO_NOT_SHOW_CRASH_DETAILS_DIALOGUE=1", "-DO_NOT_SHOW_CRASH_DETAILS_DIALOGUE" },
        LaunchArguments::doNotShowCrashDetailsDialogueArgument));
}

TEST_F(AppModuleTests, TheUpdaterNeverSendsTheSystemProfile)
{
    // Every resolution switches the system profile off again.
    buildContainer();
    auto updater = resolved<SUUpdater>();
    EXPECT_FALSE(updater->sendsSystemProfile());
    updater->setSendsSystemProfile(true);
    EXPECT_FALSE(resolved<SUUpdater>()->sendsSystemProfile());
}

TEST_F(AppModuleTests, LoginRegistersTheExtensionOnceHoweverOftenTheManagerIsResolved)
{
    // One observer per process: three resolutions, then a login registers once and enables 2.0 s later; a logout switches it off and removes it.
    auto registry = std::make_shared<CountingRegistry>(groupFolder());
    m_extensionRegistry = registry;
    m_extensionURL = std::filesystem::path(m_home.path()) / "bin" / "glimmerd";
    writeFile(m_extensionURL, "#!/bin/sh\n");
    std::filesystem::permissions(m_extensionURL, std::filesystem::perms::owner_all);
    buildContainer();
    for (int round = 0; round < 3; ++round)
        ASSERT_TRUE(resolved<ExtensionManager>());
    auto holder = resolved<CredentialHolder>();
    holder->credentials().set(m_credentials);
    EXPECT_EQ(registry->adds.load(), 1);
    auto identifier = SharedConstants::glimmerdBundleIdentifier();
    ASSERT_TRUE(registry->registration(identifier));
    EXPECT_FALSE(registry->registration(identifier)->enabled);
    m_mainQueue->advance(1999ms);
    EXPECT_EQ(registry->uses.load(), 0);
    m_mainQueue->advance(1ms);
    EXPECT_EQ(registry->uses.load(), 1);
    EXPECT_TRUE(registry->registration(identifier)->enabled);

    // The same credentials again register again.
    holder->credentials().set(m_credentials);
    EXPECT_EQ(registry->adds.load(), 2);
    holder->credentials().set(std::nullopt);
    EXPECT_EQ(registry->ignores.load(), 1);
    EXPECT_EQ(registry->removes.load(), 1);
    EXPECT_FALSE(registry->registration(identifier));
    m_mainQueue->advance(5s);
    EXPECT_EQ(registry->uses.load(), 1);
}

TEST_F(AppModuleTests, ThePopoverContentFollowsTheLoginStateOnTheMainQueue)
{
    // The current state first, then each change with a new controller, repeats dropped, all on the main queue.
    m_moreUserInterface = [](Binder& binder) {
        binder.addBinding<LoggedInContent>(Scope::transient, [](Resolver&) { return std::make_shared<LoggedInContent>(); });
        binder.addBinding<LoggedOutContent>(Scope::transient, [](Resolver&) { return std::make_shared<LoggedOutContent>(); });
    };
    auto& resolver = buildContainer();
    auto holder = resolved<CredentialHolder>();
    std::vector<std::shared_ptr<PopoverContent>> shown;
    auto binding = bindPopoverContent<PopoverContent, LoggedInContent, LoggedOutContent>(resolver, resolved<APIManager>()->isLoggedIn(),
        m_mainQueue, [&shown](std::shared_ptr<PopoverContent> content) { shown.push_back(std::move(content)); });
    EXPECT_TRUE(shown.empty());
    m_mainQueue->advance();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(std::dynamic_pointer_cast<LoggedOutContent>(shown.back()));
    holder->credentials().set(m_credentials);
    holder->credentials().set(m_credentials);
    m_mainQueue->advance();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(std::dynamic_pointer_cast<LoggedInContent>(shown.back()));
    holder->credentials().set(std::nullopt);
    m_mainQueue->advance();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(std::dynamic_pointer_cast<LoggedOutContent>(shown.back()));
    EXPECT_NE(shown.back(), shown.front());
    binding.dispose();
}

TEST_F(AppModuleTests, AnUnresolvablePopoverContentStopsTheProgramNamingTheKey)
{
    // Without a logged-out controller the binding stops with a message that names the key; nothing half-built is shown.
    auto& resolver = buildContainer();
    std::vector<std::string> stops;
    int shown = 0;
    auto binding = bindPopoverContent<PopoverContent, LoggedInContent, LoggedOutContent>(resolver, resolved<APIManager>()->isLoggedIn(),
        m_mainQueue, [&shown](std::shared_ptr<PopoverContent>) { ++shown; }, [&stops](const std::string& message) { stops.push_back(message); });
    m_mainQueue->advance();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_NE(stops.front().find("LoggedOutContent"), std::string::npos) << stops.front();
    EXPECT_EQ(shown, 0);
    binding.dispose();
}

TEST_F(AppModuleTests, AStoreThatOutlivesTheContainerStillOpensTheDatabase)
{
    // Work still queued when the container ends (a settings change read back then empties the store) keeps a store
    // alive past it: its next access opens the database as before and never reaches into the container that is gone.
    buildContainer();
    auto store = resolved<Sync::FileStore>();
    ASSERT_TRUE(store);
    m_resolver.reset();
    EXPECT_TRUE(store->clean().has_value());
}
