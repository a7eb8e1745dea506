#include "Orvella/Launch/ContainerLaunchServices.hpp"

#include "Orvella/Extension/ExtensionManager.hpp"
#include "Orvella/Launch/NavigatorLaunchAdapter.hpp"
#include "Orvella/Launch/WormholeLaunchChannel.hpp"
#include "Orvella/Settings/SettingsManager.hpp"
#include "Shared/SharedConstants.hpp"
#include "Orvella/UI/StatusItem/StatusItemController.hpp"
#include "Platform/Desktop/DistributedNotificationCenter.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

namespace Orvella {

namespace {

template<class Key>
std::shared_ptr<Key> resolvedOrLogged(Resolver& resolver)
{
    auto resolution = resolver.resolve<Key>();
    if (!resolution) {
        Platform::Log::failure("Dienst " + resolution.error().key() + " nicht verfügbar: " + resolution.error().description());
        return nullptr;
    }
    return *resolution;
}

// The navigator, resolved at its first use.
class DeferredLaunchNavigator final : public LaunchNavigator {
public:
    explicit DeferredLaunchNavigator(Resolver& resolver) : m_resolver(resolver) {}

    void sharePublicLink(Sync::FileRef file) override
    {
        if (auto* navigator = adapter())
            navigator->sharePublicLink(std::move(file));
    }
    void sharePrivately(Sync::FileRef file) override
    {
        if (auto* navigator = adapter())
            navigator->sharePrivately(std::move(file));
    }
    void showLoginWindow() override
    {
        if (auto* navigator = adapter())
            navigator->showLoginWindow();
    }
    void showPopover() override
    {
        if (auto* navigator = adapter())
            navigator->showPopover();
    }

private:
    LaunchNavigator* adapter()
    {
        if (!m_adapter) {
            if (auto navigator = resolvedOrLogged<Navigator>(m_resolver))
                m_adapter.emplace(std::move(navigator), resolvedOrLogged<StatusItemController>(m_resolver));
        }
        return m_adapter ? &*m_adapter : nullptr;
    }

    Resolver& m_resolver;
    std::optional<NavigatorLaunchAdapter> m_adapter;
};

} // namespace

void addContainerServices(AppDelegate::Services& services, Resolver& resolver)
{
    if (auto manager = resolvedOrLogged<ExtensionManager>(resolver))
        services.extension = std::make_shared<ExtensionManagerLaunchExtension>(std::move(manager));
    if (auto settings = resolvedOrLogged<SettingsManager>(resolver)) {
        services.lastAppVersion = [settings] { return settings->lastAppVersion().value(); };
        services.setLastAppVersion = [settings](const std::string& version) { settings->lastAppVersion().set(version); };
        services.flushSettings = [settings] { settings->flush(); };
    }
    services.tracking = resolvedOrLogged<TrackingManager>(resolver);
    auto wormhole = resolvedOrLogged<WormholeNavigator>(resolver);
    auto sharedSuite = resolvedOrLogged<Platform::UserDefaults>(resolver);
    if (wormhole && sharedSuite) {
        services.channel = std::make_shared<WormholeLaunchChannel>(wormhole, sharedSuite);
        services.sharedSuite = sharedSuite.get();
    }
    services.fileStore = resolvedOrLogged<Sync::FileStore>(resolver);
    if (auto apiManager = resolvedOrLogged<APIManager>(resolver)) {
        // Held once: a derived property stops sending when its last copy goes.
        services.isLoggedIn = [loggedIn = apiManager->isLoggedIn()] { return loggedIn.value(); };
    }
    services.enableStatusItem = [&resolver] {
        if (auto statusItem = resolvedOrLogged<StatusItemController>(resolver))
            statusItem->enable();
    };
    services.navigator = std::make_shared<DeferredLaunchNavigator>(resolver);
    if (auto center = resolvedOrLogged<Platform::DistributedNotificationCenter>(resolver)) {
        services.postWillTerminate = [center] { center->post(SharedConstants::willTerminate()); };
        // The request arrives on the channel's thread; the windows are answered on the UI thread.
        services.onActivationRequest = [center](std::function<void()> handler) {
            return center->addObserver(SharedConstants::activateRunningApplication(),
                [handler = std::move(handler), ui = Reactive::UIScheduler::make()](const Platform::DistributedNotification&) {
                    (void)ui->schedule(handler);
                });
        };
    }
}

} // namespace Orvella
