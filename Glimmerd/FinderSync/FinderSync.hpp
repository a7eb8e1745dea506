#pragma once

// Glimmerd/FinderSync: the extension itself: while the application answers
// its ping it observes the cloud folder, badges its items from the shared
// status database and offers the share entries of the context menu.

#include "Glimmerd/FinderSync/ExtensionChannel.hpp"
#include "Glimmerd/FinderSyncKit/FinderSyncController.hpp"
#include "Glimmerd/FinderSyncKit/FinderSyncExtension.hpp"
#include "Platform/Foundation/PassKey.hpp"
#include "Reactive/Disposables/CompositeDisposable.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Status/FileSyncStatusStore.hpp"
#include "Sync/Store/FileStore.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace Glimmerd {

// Everything the extension is built from; the program passes the real
// services, the tests their fakes.
struct FinderSyncEnvironment {
    // The file manager's side: observed folders, badges, selection.
    std::shared_ptr<FinderSyncKit::FinderSyncController> syncController;
    // File records by cloud-relative path, read-only.
    std::shared_ptr<Sync::FileStore> fileStore;
    // Per-file status, read-only; its stream may deliver on any thread.
    std::shared_ptr<Sync::FileSyncStatusStore> fileStatusStore;
    // Ping, share requests and the application's notifications.
    std::shared_ptr<ExtensionChannel> channel;
    // Only "CloudFolderURL" is read.
    std::shared_ptr<CloudFolderSettings> settings;
    // The main thread: every pong, notification and status delivery is moved here.
    std::shared_ptr<Reactive::DateScheduler> mainScheduler;
    // Whether the shared database can be read now; the status stream is started only then.
    std::function<bool()> isDatabaseReadable = [] { return true; };
    // The program's own path, for the launch line.
    std::string launchPath;
    // The brand's product name, the context menu's title.
    std::string clientName;
    // How long a ping may go unanswered.
    std::chrono::milliseconds pingTimeout { 2000 };
    // How often an unreadable database is tried again for the status stream.
    std::chrono::milliseconds databaseRetryInterval { 5000 };
};

// The extension (the principal class of glimmerd). Badges: "Idle" (up to
// date), "Syncing" (syncing or unknown), "Error"; the cloud folder itself is
// never "Error".
//
// Threading: create, call and destroy on the main thread (`mainScheduler`).
// Work arriving elsewhere (pongs, notifications, status deliveries) is moved
// there and dropped once the object is gone.
class FinderSync final : public FinderSyncKit::FinderSyncExtension, public std::enable_shared_from_this<FinderSync> {
public:
    static constexpr const char* idleIdentifier = "Idle";
    static constexpr const char* errorIdentifier = "Error";
    static constexpr const char* syncingIdentifier = "Syncing";
    static constexpr const char* sharePublicLinkAction = "sharePublicLink";
    static constexpr const char* shareFolderAction = "shareFolder";

    // Builds the extension and runs its start-up: the launch line, the first
    // ping, the badge images, the notification observers, the status stream.
    [[nodiscard]] static std::shared_ptr<FinderSync> create(FinderSyncEnvironment environment);
    ~FinderSync() override;

    void beginObservingDirectory(const Platform::URL& url) override;
    void endObservingDirectory(const Platform::URL& url) override;
    void requestBadgeIdentifier(const Platform::URL& url) override;
    [[nodiscard]] std::optional<FinderSyncKit::Menu> menu(FinderSyncKit::MenuKind kind) override;
    void performAction(const FinderSyncKit::MenuItem& item) override;

    void sharePublicLink();
    void shareFolder();
    // Target of the three observed notifications: pings again.
    void userDefaultsDidChange();

    // The folders the file manager shows now.
    [[nodiscard]] const std::set<Platform::URL>& visibleFolderURLs() const { return m_visibleFolderURLs; }
    // The observed cloud folder, or nothing.
    [[nodiscard]] std::optional<Platform::URL> currentCloudFolderURL() const;

    void setBadge(Sync::FileSyncStatus status, const Platform::URL& url);
    void updateBadges(const Sync::FileSyncStatuses& statuses);

    FinderSync(Platform::PassKey<FinderSync>, FinderSyncEnvironment environment);

private:
    void start();
    void pingApp();
    void handlePong(std::uint64_t pingNumber, bool success);
    void watchCloudFolder(const std::optional<Platform::URL>& folder);
    void subscribeToStatuses();
    [[nodiscard]] std::optional<Platform::URL> selectedItemURL() const;
    [[nodiscard]] bool selectedItemIsFolder() const;
    [[nodiscard]] Sync::FileRef fileForURL(const Platform::URL& url, bool isFolder) const;
    [[nodiscard]] std::optional<Sync::SyncFileID> selectedFileID(const Platform::URL& url) const;
    [[nodiscard]] FinderSyncKit::Menu makeContextMenu(const Platform::URL& url) const;
    using ShareRequest = void (ExtensionChannel::*)(const Sync::SyncFileID&);
    // Sends `request` for the single selected item's remote identifier; nothing without one.
    void sendShareRequest(ShareRequest request);

    FinderSyncEnvironment m_environment;
    std::set<Platform::URL> m_visibleFolderURLs;
    Reactive::CompositeDisposable m_disposable;
    ExtensionChannel::Registration m_notificationRegistration;
    std::uint64_t m_latestPing = 0;
};

// The badge of a status: up to date "Idle", syncing and unknown "Syncing", error "Error".
[[nodiscard]] const char* badgeIdentifier(Sync::FileSyncStatus status);

// The cloud folder named by a "CloudFolderURL" text ("~" and ".." resolved; a
// file URL is taken by its path), as a directory URL when it is one on disk.
[[nodiscard]] Platform::URL standardizedFolderURL(const std::string& setting);

} // namespace Glimmerd
