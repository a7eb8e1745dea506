#pragma once

// Orvella/Extension: registering the file-manager extension process and
// ending its stale processes.

#include "Platform/Desktop/ExtensionRegistry.hpp"
#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace Orvella {

// Registers the extension `glimmerd` with the registry, switches it on 2.0 s
// later, and the reverse; ends running extension processes after an update.
// No shell is involved: the registry's verbs get the path as it is.
//
// `registerExtension()` adds at once and schedules the enable on the main
// scheduler; `unregisterExtension()` cancels an enable still pending (so an
// extension of a user who logged out meanwhile is never switched on), then
// switches the extension off and, only when that succeeded, removes it.
//
// Threading: called on the main thread; the verbs block it while they run.
class ExtensionManager {
public:
    static constexpr std::chrono::milliseconds enableDelay { 2000 };

    struct Configuration {
        // The registry's identifier of the extension (`SharedConstants::glimmerdBundleIdentifier`).
        std::string bundleIdentifier;
        // The extension's executable; `defaultExtensionURL()` when empty.
        std::filesystem::path extensionURL {};
        std::shared_ptr<Platform::ExtensionRegistry> registry;
        // Runs the delayed enable (the main loop's scheduler).
        std::shared_ptr<Reactive::DateScheduler> mainScheduler;
        // The group directory whose extension this application is: only the
        // process holding its lock file is ever ended, never the extension of
        // another group directory (another account, a test run) of the same user.
        std::filesystem::path groupDirectory {};
    };

    explicit ExtensionManager(Configuration configuration);
    ~ExtensionManager();
    ExtensionManager(const ExtensionManager&) = delete;
    ExtensionManager& operator=(const ExtensionManager&) = delete;

    // The `glimmerd` beside the running program.
    [[nodiscard]] static std::filesystem::path defaultExtensionURL();

    [[nodiscard]] const std::string& bundleIdentifier() const { return m_configuration.bundleIdentifier; }
    [[nodiscard]] const std::filesystem::path& extensionURL() const { return m_configuration.extensionURL; }

    void registerExtension();
    void enableExtension();
    void unregisterExtension();
    // SIGKILL to the process running `extensionURL` that holds the lock file
    // of `groupDirectory`; nothing when no group directory is configured.
    void killRunningExtensions();

private:
    Configuration m_configuration;
    std::mutex m_mutex;
    Reactive::AnyDisposable m_pendingEnable;
};

} // namespace Orvella
