#pragma once

#include "Orvella/Launch/LaunchSeams.hpp"
#include "Orvella/Launch/StandardDefaults.hpp"
#include "Orvella/Tracking/TrackingManager.hpp"
#include "Sync/Store/FileStore.hpp"

#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvella {

// The start-up and shutdown of the tray application. Every service comes
// from the composition root; the delegate builds none. Main thread only.
class AppDelegate {
public:
    struct Services {
        // The shared group directory (the database, the channel, the lock).
        std::filesystem::path groupContainer {};
        // Where the extension kept its settings before the group directory existed.
        std::filesystem::path oldExtensionContainer {};
        // The shared suite's file name inside "Library/Preferences/", old and new.
        std::string oldSuiteFileName {};
        std::string suiteFileName {};
        std::shared_ptr<StandardDefaults> standardDefaults {};
        std::vector<std::string> arguments {};
        std::shared_ptr<ApplicationMover> mover {};
        std::shared_ptr<LaunchExtension> extension {};
        std::string versionString {};
        std::function<std::optional<std::string>()> lastAppVersion {};
        std::function<void(const std::string&)> setLastAppVersion {};
        // Writes pending settings changes out now.
        std::function<void()> flushSettings {};
        std::shared_ptr<TrackingManager> tracking {};
        std::function<void()> enableStatusItem {};
        std::shared_ptr<LaunchChannel> channel {};
        std::shared_ptr<Sync::FileStore> fileStore {};
        std::shared_ptr<LaunchNavigator> navigator {};
        // The sender of the shared suite's change notifications.
        const void* sharedSuite = nullptr;
        std::function<bool()> isLoggedIn {};
        // Posts "CloudAppWillTerminateNotification" to the extension.
        std::function<void()> postWillTerminate {};
        // Calls the handler (on the main thread) each time a second start of
        // the application asks this one to come to the front; none: not asked.
        std::function<Platform::NotificationCenter::Registration(std::function<void()>)> onActivationRequest {};
        std::function<void(const std::string&)> log {};
    };

    // A required service that is missing ends the launch with this text.
    struct LaunchError {
        std::string message;
    };

    explicit AppDelegate(Services services);

    // The launch steps in order; a missing required service ends them early.
    [[nodiscard]] std::expected<void, LaunchError> applicationDidFinishLaunching();
    [[nodiscard]] bool shouldTerminateNow() const { return !m_services.mover || !m_services.mover->isMoveInProgress(); }
    void applicationWillTerminate();

    // A share request of the extension for a remote file identifier.
    void handlePublicShareRequest(const Sync::SyncFileID& fileID) const;
    void handlePrivateShareRequest(const Sync::SyncFileID& fileID) const;

    // Moves the extension's old folder into a group directory not made yet,
    // once. The program runs it before it takes its lock in that directory.
    static void migrateGroupContainerIfNeeded(const Services& services);

private:
    void checkDatabase() const;
    void listenForShareRequests();
    void forwardUserDefaultsChanges();
    void listenForActivationRequests();
    [[nodiscard]] std::optional<LaunchError> missingRequiredService() const;

    Services m_services;
    std::vector<Platform::NotificationCenter::Registration> m_registrations;
};

} // namespace Orvella
