#pragma once

// Orvella/AppModule: the composition root of the application process: every
// service, adapter and stand-in the application core builds, in one module of
// the dependency container, with a hook for the user interface's bindings.

#include "Orvella/Resolver/Binder.hpp"
#include "Orvella/Resolver/Module.hpp"
#include "Orvella/Settings/SettingsManager.hpp"
#include "Platform/Desktop/ExtensionRegistry.hpp"
#include "Platform/Network/ReachabilityMonitor.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvella {

// What the composition root takes from the process it runs in. Every empty
// field gets the production default; tests fill them with their own bus,
// virtual time and stand-ins.
struct AppModuleEnvironment {
    // The main thread's queue: login notifications, the metrics switch, the
    // password window, the extension's delayed enable and the settings'
    // write-backs run here. Default: the main loop's queue.
    std::shared_ptr<Reactive::DateScheduler> mainQueue;
    // The settings manager's queues and desktop hooks. Default: the session's,
    // with `mainQueue` as its main queue.
    std::optional<SettingsManagerContext> settingsContext;
    // The process's arguments. Default: this process's command line.
    std::optional<std::vector<std::string>> launchArguments;
    // The bus of the desktop notifications. Default: the session bus.
    std::optional<std::string> busAddress;
    // The bus the keychain probes for a Secret Service. Default: the session bus.
    std::optional<std::string> keychainBusAddress;
    // How the API client watches the service's host. Default: netlink and a probe.
    std::function<std::unique_ptr<Platform::ReachabilityMonitor>()> reachabilityMonitor;
    // Where the file-manager extension is registered. Default: the registry
    // file in the group directory.
    std::shared_ptr<Platform::ExtensionRegistry> extensionRegistry;
    // The extension's program. Default: `glimmerd` beside the running program.
    std::filesystem::path extensionURL {};
};

// The only module of the application's container. `configure` registers, in
// one fixed sequence, a binding for every long-lived service of the
// application core, then lets `registerUserInterface` add the windows, view
// models, popover and navigator (the tray application passes the widgets'
// bindings; tests pass headless stand-ins). Nothing here links Qt.
//
// Lifetimes: the services several consumers share are single; the database
// objects, window controllers, view models and small adapters are transient.
class AppModule final : public Module {
public:
    using UserInterfaceRegistration = std::function<void(Binder&)>;

    explicit AppModule(UserInterfaceRegistration registerUserInterface = {}, AppModuleEnvironment environment = {});

    void configure(Binder& binder) override;

    // The environment with its defaults filled in.
    [[nodiscard]] const AppModuleEnvironment& environment() const { return m_environment; }

private:
    void configureDesktop(Binder& binder) const;
    void configureAPIClient(Binder& binder) const;
    void configureSyncEngine(Binder& binder) const;
    void configureNotifications(Binder& binder) const;
    void configureExtension(Binder& binder) const;
    void configureServedInterfaces(Binder& binder) const;

    UserInterfaceRegistration m_registerUserInterface;
    AppModuleEnvironment m_environment;
};

} // namespace Orvella
