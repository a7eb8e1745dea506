#pragma once

// Orvella/Settings: every user setting as a reactive property kept in step
// with the shared settings suite, the service environment's names, the
// session login item and what the sync engine reads of the settings.

#include "Orvella/Settings/EnvironmentSwitcher.hpp"
#include "Orvella/Settings/LoginItem.hpp"
#include "Orvella/Popover/SyncEnabler.hpp"
#include "Platform/Foundation/PassKey.hpp"
#include "Shared/ClientConfiguration.hpp"
#include "Shared/CloudUserDefaultsKey.hpp"
#include "Platform/Desktop/SidebarBookmarks.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Platform/Foundation/UserDefaults.hpp"
#include "Quarlink/Environment/Environment.hpp"
#include "Reactive/Disposables/CompositeDisposable.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace Orvella {

// Where the settings manager's work runs, and what it touches besides the suite.
struct SettingsManagerContext {
    // Runs the write-backs, one at a time and in order; work is always
    // posted, never run inline (the application's main queue).
    Reactive::SchedulerPtr mainQueue;
    // The private serial queue on which a new cloud folder first removes the
    // old folder's sidebar bookmark.
    Reactive::SchedulerPtr cloudFolderQueue;
    // The session login items that `shouldLaunchOnStartup` mirrors; the
    // manager names its entries after the brand's `clientName`.
    LoginItemList loginItems;
    // The file manager's sidebar bookmarks.
    Platform::SidebarBookmarks sidebar;

    // The main loop's queue, a queue scheduler named
    // "org.reactivecocoa.ReactiveSwift.QueueScheduler", the session's login
    // items and the GTK bookmarks file.
    [[nodiscard]] static SettingsManagerContext standard();
};

// Every user setting as a mutable property in two-way step with the shared
// settings suite: a change of a property is written to the suite (later, on
// the main queue, and only when the stored value differs), and a change of
// the stored value, whoever makes it, flows back into the property.
// `shouldLaunchOnStartup` is not stored: it mirrors the session login items.
//
// Threading: made on the main thread. Properties may be read and set from any
// thread; the suite is written only by work on `mainQueue` (or by `flush`).
// Read-backs arrive on the thread on which the suite reports the change.
class SettingsManager final : public SyncEnabler, public EnvironmentSwitcher {
public:
    // Runs every construction step before it returns; cannot fail. The suite
    // must have the registered defaults registered.
    [[nodiscard]] static std::shared_ptr<SettingsManager> create(const ClientConfiguration& configuration,
        std::shared_ptr<Platform::UserDefaults> defaults, SettingsManagerContext context = SettingsManagerContext::standard());
    // Runs the write-backs still waiting.
    ~SettingsManager() override;
    SettingsManager(const SettingsManager&) = delete;
    SettingsManager& operator=(const SettingsManager&) = delete;

    [[nodiscard]] const std::shared_ptr<Platform::UserDefaults>& defaults() const { return m_defaults; }
    [[nodiscard]] Reactive::MutableProperty<std::optional<std::string>>& lastLoggedInUserName() { return m_lastLoggedInUserName; }
    // Always a directory URL.
    [[nodiscard]] Reactive::MutableProperty<Platform::URL>& cloudFolderURL() { return m_cloudFolderURL; }
    [[nodiscard]] Reactive::MutableProperty<Quarlink::Environment>& environment() override { return m_environment; }
    [[nodiscard]] Reactive::MutableProperty<bool>& enableDesktopNotifications() { return m_enableDesktopNotifications; }
    [[nodiscard]] Reactive::MutableProperty<bool>& enableUsageTracking() { return m_enableUsageTracking; }
    [[nodiscard]] Reactive::MutableProperty<bool>& shouldLaunchOnStartup() { return m_shouldLaunchOnStartup; }
    [[nodiscard]] Reactive::MutableProperty<bool>& isSyncEnabled() override { return m_isSyncEnabled; }
    [[nodiscard]] Reactive::MutableProperty<bool>& enableBandwidthThrottling() { return m_enableBandwidthThrottling; }
    [[nodiscard]] Reactive::MutableProperty<bool>& shouldMoveToTrash() { return m_shouldMoveToTrash; }
    [[nodiscard]] Reactive::MutableProperty<bool>& appInstallTracked() { return m_appInstallTracked; }
    [[nodiscard]] Reactive::MutableProperty<std::optional<std::string>>& lastAppVersion() { return m_lastAppVersion; }

    // Assigns `name` only when it differs from the current value.
    void updateLastLoggedInUserName(const std::optional<std::string>& name);

    // Runs every write-back still waiting, on the calling thread; for the end
    // of the process, so that no setting changed just before is lost.
    void flush();

    SettingsManager(Platform::PassKey<SettingsManager>, const ClientConfiguration& configuration, std::shared_ptr<Platform::UserDefaults> defaults,
        SettingsManagerContext context);

private:
    void start(const ClientConfiguration& configuration);
    void bindBool(Reactive::MutableProperty<bool>& property, CloudUserDefaultsKey key);
    void bindCloudFolder(const ClientConfiguration& configuration);
    void bindEnvironment();
    void bindStrings();
    void runFirstSetup();
    void bindLaunchAtLogin();
    // Queues `write` on the main queue behind the writes queued before it.
    void enqueueWrite(CloudUserDefaultsKey key, std::function<void(Platform::UserDefaults&)> write);
    // Starts `producer` of the suite and hands each value to `deliver` under the delivery gate.
    template<class Value, class Deliver>
    [[nodiscard]] Reactive::AnyDisposable fromSuite(Reactive::SignalProducer<Value, Reactive::NoError> producer, Deliver deliver);

    std::shared_ptr<Platform::UserDefaults> m_defaults;
    Reactive::MutableProperty<std::optional<std::string>> m_lastLoggedInUserName { std::nullopt };
    Reactive::MutableProperty<Platform::URL> m_cloudFolderURL;
    Reactive::MutableProperty<Quarlink::Environment> m_environment { Quarlink::Environment::live() };
    Reactive::MutableProperty<bool> m_enableDesktopNotifications { false };
    Reactive::MutableProperty<bool> m_enableUsageTracking { false };
    Reactive::MutableProperty<bool> m_shouldLaunchOnStartup { false };
    Reactive::MutableProperty<bool> m_isSyncEnabled { false };
    Reactive::MutableProperty<bool> m_enableBandwidthThrottling { false };
    Reactive::MutableProperty<bool> m_shouldMoveToTrash { false };
    Reactive::MutableProperty<bool> m_appInstallTracked { false };
    Reactive::MutableProperty<std::optional<std::string>> m_lastAppVersion { std::nullopt };

    SettingsManagerContext m_context;
    Reactive::CompositeDisposable m_bindings;

    struct PendingWrites;
    std::shared_ptr<PendingWrites> m_pending;
    struct DeliveryGate;
    std::shared_ptr<DeliveryGate> m_gate;
};

} // namespace Orvella
