#include "Orvella/Settings/SettingsManager.hpp"

#include "Orvella/Settings/CloudUserDefaults.hpp"
#include "Orvella/Settings/EnvironmentNames.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

namespace Orvella {

using Key = CloudUserDefaultsKey;
using Write = std::function<void(Platform::UserDefaults&)>;

// The write-backs waiting for the main queue, one per key, in the order their
// keys were first written. A newer value of a key replaces its waiting one:
// each write is read back into its property, so two waiting values of one
// key would otherwise write each other back for ever. Shared with the queued
// work, which may outlive the manager: work that finds the list empty
// (flushed) or the suite gone does nothing.
struct SettingsManager::PendingWrites {
    std::mutex mutex;
    std::deque<std::pair<Key, Write>> writes;
    std::weak_ptr<Platform::UserDefaults> defaults;

    // Whether `write` took a new place (then one more run is due).
    bool add(Key key, Write write)
    {
        std::lock_guard lock(mutex);
        for (auto& waiting : writes) {
            if (waiting.first == key) {
                waiting.second = std::move(write);
                return false;
            }
        }
        writes.emplace_back(key, std::move(write));
        return true;
    }

    void runNext()
    {
        Write write;
        {
            std::lock_guard lock(mutex);
            if (writes.empty())
                return;
            write = std::move(writes.front().second);
            writes.pop_front();
        }
        if (auto suite = defaults.lock())
            write(*suite);
    }

    void runAll()
    {
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (writes.empty())
                    return;
            }
            runNext();
        }
    }
};

SettingsManagerContext SettingsManagerContext::standard()
{
    return SettingsManagerContext {
        .mainQueue = Reactive::MainQueueScheduler::make(),
        .cloudFolderQueue = Reactive::QueueScheduler::make("org.reactivecocoa.ReactiveSwift.QueueScheduler"),
        .loginItems = LoginItemList::session(),
        .sidebar = Platform::SidebarBookmarks(),
    };
}

std::shared_ptr<SettingsManager> SettingsManager::create(const ClientConfiguration& configuration,
    std::shared_ptr<Platform::UserDefaults> defaults, SettingsManagerContext context)
{
    auto manager = std::make_shared<SettingsManager>(Platform::PassKey<SettingsManager> {}, configuration, std::move(defaults), std::move(context));
    manager->start(configuration);
    return manager;
}

// The suite sends another process's changes on its watcher thread, and a
// disposal does not wait for a delivery already under way there. So every
// delivery from the suite runs under this gate, and the manager closes it,
// waiting for the delivery under way, before its properties go. Recursive: a
// delivery may set a property whose observers write to the suite again.
struct SettingsManager::DeliveryGate {
    std::recursive_mutex mutex;
    bool open = true;

    template<class Deliver>
    void run(Deliver&& deliver)
    {
        std::lock_guard lock(mutex);
        if (open)
            deliver();
    }

    void close()
    {
        std::lock_guard lock(mutex);
        open = false;
    }
};

template<class Value, class Deliver>
Reactive::AnyDisposable SettingsManager::fromSuite(Reactive::SignalProducer<Value, Reactive::NoError> producer,
    Deliver deliver)
{
    return producer.startWithValues([gate = m_gate, deliver = std::move(deliver)](const Value& value) {
        gate->run([&] { deliver(value); });
    });
}

SettingsManager::SettingsManager(Platform::PassKey<SettingsManager>, const ClientConfiguration& configuration,
    std::shared_ptr<Platform::UserDefaults> defaults, SettingsManagerContext context)
    : m_defaults(std::move(defaults))
    , m_cloudFolderURL(CloudUserDefaults::folderURL(*m_defaults, Key::cloudFolderURL).value_or(configuration.defaultCloudFolderURL()))
    , m_context(std::move(context))
    , m_pending(std::make_shared<PendingWrites>())
    , m_gate(std::make_shared<DeliveryGate>())
{
    m_pending->defaults = m_defaults;
    // The user sees the entry in the session's start-up list: the brand's name, not the program's.
    m_context.loginItems.applicationName = configuration.clientName();
}

SettingsManager::~SettingsManager()
{
    m_gate->close();
    m_bindings.dispose();
    m_pending->runAll();
}

void SettingsManager::start(const ClientConfiguration& configuration)
{
    // 1. The last user name: write-back, then read-back.
    m_bindings += m_lastLoggedInUserName.producer().startWithValues([this](const std::optional<std::string>& name) {
        enqueueWrite(Key::lastLoggedInUserName,
            [name](Platform::UserDefaults& suite) { CloudUserDefaults::set(suite, Key::lastLoggedInUserName, name); });
    });
    m_bindings += fromSuite(CloudUserDefaults::stringProducer(*m_defaults, Key::lastLoggedInUserName),
        [this](const std::optional<std::string>& name) { m_lastLoggedInUserName.set(name); });
    // 2. The cloud folder.
    bindCloudFolder(configuration);
    // 3. Bandwidth throttling (not registered: missing reads false).
    bindBool(m_enableBandwidthThrottling, Key::enableBandwidthThrottling);
    // 4. The environment.
    bindEnvironment();
    // 5. The registered Booleans.
    bindBool(m_enableDesktopNotifications, Key::enableDesktopNotifications);
    bindBool(m_enableUsageTracking, Key::enableUsageTracking);
    bindBool(m_isSyncEnabled, Key::enableSync);
    bindBool(m_shouldMoveToTrash, Key::shouldMoveToTrash);
    bindBool(m_appInstallTracked, Key::appInstallTracked);
    // 6. The last version: read-back, then a write-back that never removes it.
    bindStrings();
    // 7. and 8. Launch at login.
    runFirstSetup();
    bindLaunchAtLogin();
}

void SettingsManager::bindBool(Reactive::MutableProperty<bool>& property, CloudUserDefaultsKey key)
{
    property.set(CloudUserDefaults::boolValue(*m_defaults, key));
    m_bindings += fromSuite(CloudUserDefaults::boolProducer(*m_defaults, key), [&property](bool value) { property.set(value); });
    m_bindings += property.producer().startWithValues([this, key](bool value) {
        enqueueWrite(key, [key, value](Platform::UserDefaults& suite) { CloudUserDefaults::set(suite, key, value); });
    });
}

void SettingsManager::bindCloudFolder(const ClientConfiguration&)
{
    // The old folder's bookmark goes before the new path is stored: the
    // queue reads the stored path first, then hands the write to the main queue.
    auto pending = m_pending;
    auto mainQueue = m_context.mainQueue;
    auto sidebar = m_context.sidebar;
    std::weak_ptr<Platform::UserDefaults> weakDefaults = m_defaults;
    m_bindings += m_cloudFolderURL.producer()
                      .observeOn(m_context.cloudFolderQueue)
                      .startWithValues([pending, mainQueue, sidebar, weakDefaults](const Platform::URL& folder) mutable {
                          auto suite = weakDefaults.lock();
                          if (!suite)
                              return;
                          auto stored = CloudUserDefaults::string(*suite, Key::cloudFolderURL);
                          auto newPath = CloudUserDefaults::storedPath(folder);
                          if (stored && *stored != newPath) {
                              auto oldPath = CloudUserDefaults::storedPath(Platform::URL::fileURL(*stored));
                              for (auto& entry : sidebar.entries()) {
                                  auto path = entry.path();
                                  if (path && CloudUserDefaults::storedPath(Platform::URL::fileURL(path->string())) == oldPath) {
                                      sidebar.remove(entry);
                                      break;
                                  }
                              }
                          }
                          if (pending->add(Key::cloudFolderURL, [folder](Platform::UserDefaults& target) {
                                  CloudUserDefaults::set(target, Key::cloudFolderURL, std::optional<Platform::URL>(folder));
                              }))
                              mainQueue->schedule([pending] { pending->runNext(); });
                      });
    // Only present values pass: a removed, empty or relative path leaves the folder as it is.
    m_bindings += fromSuite(CloudUserDefaults::folderURLProducer(*m_defaults, Key::cloudFolderURL).skipNil(),
        [this](const Platform::URL& folder) { m_cloudFolderURL.set(folder); });
}

void SettingsManager::bindEnvironment()
{
    m_bindings += fromSuite(CloudUserDefaults::stringProducer(*m_defaults, Key::apiEnvironment),
        [this](const std::optional<std::string>& name) { m_environment.set(environmentNamed(name.value_or("Live"))); });
    m_bindings += m_environment.producer().startWithValues([this](const Quarlink::Environment& environment) {
        enqueueWrite(Key::apiEnvironment, [text = description(environment)](Platform::UserDefaults& suite) {
            CloudUserDefaults::set(suite, Key::apiEnvironment, std::optional<std::string>(text));
        });
    });
}

void SettingsManager::bindStrings()
{
    m_bindings += fromSuite(CloudUserDefaults::stringProducer(*m_defaults, Key::lastAppVersion),
        [this](const std::optional<std::string>& version) { m_lastAppVersion.set(version); });
    m_bindings += m_lastAppVersion.producer().skipNil().startWithValues([this](const std::string& version) {
        enqueueWrite(Key::lastAppVersion, [version](Platform::UserDefaults& suite) {
            CloudUserDefaults::set(suite, Key::lastAppVersion, std::optional<std::string>(version));
        });
    });
}

void SettingsManager::runFirstSetup()
{
    if (CloudUserDefaults::boolValue(*m_defaults, Key::initialSetupComplete))
        return;
    LoginItem::setLaunchAtLogin(true, m_context.loginItems);
    CloudUserDefaults::set(*m_defaults, Key::initialSetupComplete, true);
}

void SettingsManager::bindLaunchAtLogin()
{
    m_shouldLaunchOnStartup.set(LoginItem::applicationItem(m_context.loginItems).has_value());
    auto loginItems = m_context.loginItems;
    m_bindings += m_shouldLaunchOnStartup.producer().startWithValues(
        [loginItems](bool enabled) { LoginItem::setLaunchAtLogin(enabled, loginItems); });
}

void SettingsManager::updateLastLoggedInUserName(const std::optional<std::string>& name)
{
    if (m_lastLoggedInUserName.value() != name)
        m_lastLoggedInUserName.set(name);
}

void SettingsManager::flush()
{
    m_pending->runAll();
}

void SettingsManager::enqueueWrite(CloudUserDefaultsKey key, Write write)
{
    if (m_pending->add(key, std::move(write)))
        m_context.mainQueue->schedule([pending = m_pending] { pending->runNext(); });
}

} // namespace Orvella
