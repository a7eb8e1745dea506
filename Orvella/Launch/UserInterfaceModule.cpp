#include "Orvella/Launch/UserInterfaceModule.hpp"

#include "Orvella/AppModule/AppModuleFactories.hpp"
#include "Orvella/AppModule/KeptBindings.hpp"
#include "Orvella/AppModule/PopoverContentBinding.hpp"
#include "Orvella/AppModule/SyncEventProvider.hpp"
#include "Orvella/Credentials/CredentialHolder.hpp"
#include "Orvella/Debug/DebugViewModel.hpp"
#include "Orvella/Launch/PasswordWindowHolder.hpp"
#include "Orvella/Launch/PopoverContent.hpp"
#include "Orvella/Launch/WeakNavigator.hpp"
#include "Orvella/Popover/PopoverViewModel.hpp"
#include "Orvella/Resolver/Resolver.hpp"
#include "Orvella/Settings/SettingsManager.hpp"
#include "Shared/SharedConstants.hpp"
#include "Shared/ThemeType.hpp"
#include "Orvella/StatusItem/StatusItemViewModel.hpp"
#include "Orvella/Tracking/TrackingManager.hpp"
#include "Orvella/UI/Debug/DebugViewController.hpp"
#include "Orvella/UI/Login/LoginWindowController.hpp"
#include "Orvella/UI/Navigator/Navigator.hpp"
#include "Orvella/UI/Navigator/VisibilityNavigatorWindows.hpp"
#include "Orvella/UI/Popover/LoggedOutPopoverViewController.hpp"
#include "Orvella/UI/Popover/PopoverViewController.hpp"
#include "Orvella/UI/Preferences/AccountPreferencesViewController.hpp"
#include "Orvella/UI/Preferences/FeedbackPreferencesViewController.hpp"
#include "Orvella/UI/Preferences/GeneralPreferencesViewController.hpp"
#include "Orvella/UI/Preferences/PreferencesWindowController.hpp"
#include "Orvella/UI/Presentation/IconFactory.hpp"
#include "Orvella/UI/Presentation/QtAlertPresenter.hpp"
#include "Orvella/UI/Presentation/QtPasteboard.hpp"
#include "Orvella/UI/Presentation/QtWorkspace.hpp"
#include "Orvella/UI/StatusItem/StatusItemController.hpp"
#include "Orvella/UI/StatusItem/StatusItemMenu.hpp"
#include "Orvella/UI/Windows/PopoverWindow.hpp"
#include "Orvella/Windows/PopoverVisibilityController.hpp"
#include "Platform/Foundation/UserFolders.hpp"

#include <QObject>

#include <cstdlib>

namespace Orvella {

namespace {

// The password window asks again for a known user only.
struct NoStoredUserName final : Reactive::Error {
    [[nodiscard]] std::string description() const override { return "Es ist kein Benutzername gespeichert, dessen Passwort erfragt werden könnte."; }
};

using NavigatorWindowsOverControllers = VisibilityNavigatorWindows<LoginWindowController, PreferencesWindowController>;

// A window the user asked for that cannot be built leaves the program half
// working; it ends with the reason instead.
template<class Key>
std::shared_ptr<Key> resolvedOrStop(Resolver& resolver)
{
    auto resolution = resolver.resolve<Key>();
    if (!resolution) {
        const std::string message = "Ein Fenster der Anwendung (" + resolution.error().key() + ") kann nicht gebaut werden: "
            + resolution.error().description();
        Platform::Log::failure(message);
        fatalError(message);
    }
    return *resolution;
}

QObject* senderObject(const std::any& sender)
{
    if (const auto* object = std::any_cast<QObject*>(&sender))
        return *object;
    return nullptr;
}

std::filesystem::path homeFolder()
{
    auto home = Platform::homeDirectory();
    return home.empty() ? std::filesystem::path("/") : home;
}

void bindSeams(Binder& binder)
{
    binder.addBinding<IconFactory>(Scope::single, [](Resolver&) { return std::make_shared<IconFactory>(); });
    binder.addBinding<Workspace>(Scope::single, [](Resolver&) { return std::make_shared<QtWorkspace>(); });
    binder.addBinding<Pasteboard>(Scope::single, [](Resolver&) { return std::make_shared<QtPasteboard>(); });
    binder.addBinding<AlertPresenter>(Scope::single, [](Resolver&) { return std::make_shared<QtAlertPresenter>(); });
}

void bindPopover(Binder& binder, const UserInterfaceEnvironment& environment)
{
    binder.bind<PopoverViewModel>(Scope::transient,
        [environment](std::shared_ptr<ClientConfiguration> configuration, std::shared_ptr<SyncEnabler> syncEnabler,
            std::shared_ptr<QuotaProvider> quota, std::shared_ptr<PopoverFilesProvider> files, std::shared_ptr<Navigator> navigator,
            std::shared_ptr<SyncStatusProvider> status, std::shared_ptr<SettingsManager> settings, std::shared_ptr<SyncEventProvider> syncEvents,
            std::shared_ptr<SyncNotices> notices) {
            // Each change a run carried out is a file the recent list may now hold.
            auto filesChanged = syncEvents->syncEvents()
                                    .filter([](const Sync::SyncEventPair& event) { return event.first.isFinished() && !event.second.isInvalid(); })
                                    .map([](const Sync::SyncEventPair&) { return Reactive::Unit {}; });
            return std::make_shared<PopoverViewModel>(
                PopoverViewModel::Services {
                    .configuration = std::move(configuration),
                    .syncEnabler = std::move(syncEnabler),
                    .quotaProvider = std::move(quota),
                    .fileProvider = std::move(files),
                    .navigator = std::make_shared<WeakNavigator>(navigator),
                    .syncStatusProvider = std::move(status),
                    .cloudFolder = std::make_shared<PropertyCloudFolderLocation>(settings->cloudFolderURL()),
                    .notices = std::move(notices),
                    .filesChanged = std::move(filesChanged),
                },
                PopoverViewModel::Schedulers { .ui = environment.uiScheduler, .mainQueue = environment.mainQueue });
        });
    binder.bind<LoggedInPopoverContent>(Scope::transient,
        [quit = environment.quit](std::shared_ptr<PopoverViewModel> model, std::shared_ptr<Navigator> navigator, std::shared_ptr<IconFactory> icons) {
            return std::make_shared<LoggedInPopoverContent>(
                new PopoverViewController(std::move(model), std::make_shared<WeakNavigator>(navigator), std::move(icons), quit));
        });
    binder.bind<LoggedOutPopoverContent>(Scope::transient,
        [quit = environment.quit](std::shared_ptr<ClientConfiguration> configuration, std::shared_ptr<Navigator> navigator) {
            return std::make_shared<LoggedOutPopoverContent>(
                new LoggedOutPopoverViewController(*configuration, std::make_shared<WeakNavigator>(navigator), quit));
        });
    // One popover for the process; its content follows the login state.
    binder.addBinding<PopoverWindow>(Scope::single, [mainQueue = environment.mainQueue](Resolver& resolver) -> Factories::Made<PopoverWindow> {
        auto apiManager = resolver.resolve<APIManager>();
        if (!apiManager)
            return std::unexpected(Reactive::AnyError(apiManager.error()));
        auto window = std::make_shared<PopoverWindow>();
        // The binding ends before the window goes (the kept bindings' order).
        PopoverWindow* target = window.get();
        Reactive::CompositeDisposable bindings;
        bindings += bindPopoverContent<PopoverContent, LoggedInPopoverContent, LoggedOutPopoverContent>(resolver, (*apiManager)->isLoggedIn(),
            mainQueue, [target](std::shared_ptr<PopoverContent> content) { target->setContent(content->release()); });
        return keepingBindings(std::move(window), std::move(bindings));
    });
    binder.addBinding<PopoverVisibilityController>(Scope::single, [mainQueue = environment.mainQueue](Resolver& resolver) {
        return std::make_shared<PopoverVisibilityController>(
            [&resolver]() -> std::shared_ptr<StatusPopover> { return resolvedOrStop<PopoverWindow>(resolver); }, mainQueue);
    });
}

void bindStatusItem(Binder& binder, const UserInterfaceEnvironment& environment)
{
    binder.bind<StatusItemViewModel>(Scope::transient,
        [](std::shared_ptr<SyncStatusProvider> status, std::shared_ptr<StatusItemNavigator> navigator, std::shared_ptr<APIManager> apiManager) {
            return std::make_shared<StatusItemViewModel>(std::move(status), std::move(navigator), apiManager->isLoggedIn());
        });
    binder.bind<StatusItemController>(Scope::single,
        [quit = environment.quit](std::shared_ptr<StatusItemViewModel> model, std::shared_ptr<IconFactory> icons,
            std::shared_ptr<ClientConfiguration> configuration, std::shared_ptr<Navigator> navigator,
            std::shared_ptr<SyncStatusProvider> status, std::shared_ptr<SyncEnabler> syncEnabler, std::shared_ptr<APIManager> apiManager) {
            auto controller = std::make_shared<StatusItemController>(std::move(model), std::move(icons));
            controller->setContextMenu(std::make_unique<StatusItemMenu>(StatusItemMenu::Services {
                .clientName = configuration->clientName(),
                .actions = std::make_shared<WeakNavigator>(navigator),
                .syncStatus = std::move(status),
                .syncEnabler = std::move(syncEnabler),
                .isLoggedIn = apiManager->isLoggedIn(),
                .quit = quit,
            }));
            return controller;
        });
}

void bindWindows(Binder& binder)
{
    binder.bind<LoginWindowController>(Scope::transient,
        [](std::shared_ptr<SettingsManager> settings, std::shared_ptr<ClientConfiguration> configuration, std::shared_ptr<APIManager> apiManager,
            std::shared_ptr<ThemeType> theme, std::shared_ptr<TrackingManager> tracking, std::shared_ptr<Navigator> navigator) {
            auto model = std::make_shared<LoginViewModel>(LoginViewModel::Services {
                .configuration = configuration,
                .isLoggedIn = apiManager->isLoggedIn(),
                .lastUserName = settings->lastLoggedInUserName().value(),
                .login = loginOperation(apiManager),
                .tracking = std::move(tracking),
            });
            return std::make_shared<LoginWindowController>(std::move(model), std::move(theme), std::make_shared<WeakNavigator>(navigator));
        });

    binder.addBinding<RequestPasswordWindowController>(Scope::transient, [](Resolver& resolver) {
        return Factories::made(resolver.construct([&resolver](std::shared_ptr<SettingsManager> settings, std::shared_ptr<ClientConfiguration> configuration,
                                      std::shared_ptr<APIManager> apiManager, std::shared_ptr<ThemeType> theme,
                                      std::shared_ptr<TrackingManager> tracking,
                                      std::shared_ptr<CredentialHolder> credentials) -> Factories::Made<RequestPasswordWindowController> {
            auto userName = requestPasswordUserName(settings->lastLoggedInUserName().value(), credentials->credentials().value());
            if (!userName)
                return std::unexpected(Reactive::AnyError(NoStoredUserName {}));
            auto model = std::make_shared<RequestPasswordViewModel>(RequestPasswordViewModel::Services {
                .clientName = configuration->clientName(),
                .lastUserName = *userName,
                .login = loginOperation(apiManager),
                .logout = [apiManager] { apiManager->logout(); },
                .help =
                    [&resolver] {
                        if (auto navigator = resolver.resolve<Navigator>())
                            (*navigator)->openHelpURL(nullptr);
                    },
                .tracking = tracking,
            });
            return std::make_shared<RequestPasswordWindowController>(std::move(model), std::move(theme), std::move(tracking));
        }));
    });

    binder.bind<PreferencesWindowController>(Scope::transient,
        [](std::shared_ptr<SettingsManager> settings, std::shared_ptr<ClientConfiguration> configuration, std::shared_ptr<APIManager> apiManager,
            std::shared_ptr<Navigator> navigator, std::shared_ptr<Workspace> workspace, std::shared_ptr<AlertPresenter> alerts) {
            auto actions = std::make_shared<WeakNavigator>(navigator);
            return std::make_shared<PreferencesWindowController>(standardPreferences(
                [settings, actions]() -> QWidget* {
                    return new GeneralPreferencesViewController(std::make_shared<GeneralPreferencesViewModel>(settings->shouldLaunchOnStartup(),
                                                                    settings->enableDesktopNotifications(), settings->enableUsageTracking()),
                        actions);
                },
                [settings, configuration, apiManager, actions, workspace, alerts]() -> QWidget* {
                    auto model = std::make_shared<AccountPreferencesViewModel>(AccountPreferencesViewModel::Services {
                        .configuration = configuration,
                        .isLoggedIn = apiManager->isLoggedIn(),
                        .customerEmail = customerEmail(*apiManager),
                        .cloudFolderURL = &settings->cloudFolderURL(),
                        .fileManager = std::make_shared<SystemCloudFolderFileManager>(),
                        .logout = [actions](const std::any& sender) { actions->logout(senderObject(sender)); },
                        .showLoginWindow = [actions] { actions->showLoginWindow(nullptr); },
                        .homeFolder = homeFolder(),
                    });
                    return new AccountPreferencesViewController(std::move(model),
                        { .workspace = workspace, .folderChooser = std::make_shared<QtFolderChooser>(), .alertPresenter = alerts });
                },
                [actions]() -> QWidget* { return new FeedbackPreferencesViewController(actions); },
                [actions](QObject* sender) { actions->showDebugPreferences(sender); }));
        });

    binder.bind<DebugViewModel, DebugViewModel, SyncEventProvider, EnvironmentSwitcher>(Scope::transient);
}

void bindNavigator(Binder& binder, const UserInterfaceEnvironment& environment)
{
    binder.addBinding<Navigator>(Scope::single, [environment](Resolver& resolver) {
        return resolver.construct([&resolver, environment](std::shared_ptr<Workspace> workspace, std::shared_ptr<Pasteboard> pasteboard,
                                      std::shared_ptr<AlertPresenter> alerts, std::shared_ptr<UserNotificationCenter> notifications,
                                      std::shared_ptr<ClientConfiguration> configuration, std::shared_ptr<APIManager> apiManager,
                                      std::shared_ptr<PublicShareService> publicShares, std::shared_ptr<PrivateShareService> privateShares,
                                      std::shared_ptr<Sync::FileStore> fileStore, std::shared_ptr<SettingsManager> settings,
                                      std::shared_ptr<PopoverVisibilityController> popover) {
            auto windows = std::make_shared<NavigatorWindowsOverControllers>(NavigatorWindowsOverControllers::Factories {
                .login = [&resolver] { return resolvedOrStop<LoginWindowController>(resolver); },
                .preferences = [&resolver] { return resolvedOrStop<PreferencesWindowController>(resolver); },
                .sheet = [&resolver](NavigatorWindows::PreferencesSheet sheet) -> QWidget* {
                    if (sheet == NavigatorWindows::PreferencesSheet::debug)
                        return new DebugViewController(resolvedOrStop<DebugViewModel>(resolver));
                    return new ProxyPreferencesViewController(resolvedOrStop<SettingsManager>(resolver));
                },
                .popover = std::move(popover),
                .activate = environment.activate,
            });
            return std::make_shared<Navigator>(Navigator::Services {
                .windows = std::move(windows),
                .workspace = std::move(workspace),
                .pasteboard = std::move(pasteboard),
                .alerts = std::move(alerts),
                .notificationCenter = std::move(notifications),
                .configuration = std::move(configuration),
                .apiManager = std::move(apiManager),
                .publicShareService = std::move(publicShares),
                .privateShareService = std::move(privateShares),
                .fileStore = std::move(fileStore),
                .cloudFolderURL = [settings] { return settings->cloudFolderURL().value(); },
                // No updater is built into this application.
                .checkForUpdates = {},
                .uiScheduler = environment.uiScheduler,
                .mainQueue = environment.mainQueue,
            });
        });
    });
    binder.alias<NavigatorActions, Navigator>();
    binder.alias<StatusItemNavigator, Navigator>();
    binder.alias<PopoverNavigator, Navigator>();
    binder.alias<ShareDurationNavigator, Navigator>();

    binder.addBinding<PasswordWindowNavigator>(Scope::single, [environment](Resolver& resolver) {
        return std::make_shared<PasswordWindowHolder>(
            [&resolver]() -> std::expected<std::shared_ptr<PasswordWindow>, Reactive::AnyError> {
                auto controller = resolver.resolve<RequestPasswordWindowController>();
                if (!controller)
                    return std::unexpected(Reactive::AnyError(controller.error()));
                return std::make_shared<RequestPasswordWindow>(*controller);
            },
            environment.activate, environment.mainQueue);
    });
}

} // namespace

void registerUserInterface(Binder& binder, UserInterfaceEnvironment environment)
{
    bindSeams(binder);
    bindPopover(binder, environment);
    bindStatusItem(binder, environment);
    bindWindows(binder);
    bindNavigator(binder, environment);
}

} // namespace Orvella
