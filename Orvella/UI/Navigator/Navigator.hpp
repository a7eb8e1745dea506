#pragma once

#include "Orvella/Notifications/UserNotificationCenter.hpp"
#include "Orvella/Popover/PopoverNavigator.hpp"
#include "Orvella/Presentation/AlertPresenter.hpp"
#include "Orvella/Presentation/NavigatorActions.hpp"
#include "Orvella/Presentation/Pasteboard.hpp"
#include "Orvella/Presentation/Workspace.hpp"
#include "Orvella/Service/APIManager.hpp"
#include "Orvella/ShareDialogs/ShareDurationNavigator.hpp"
#include "Shared/ClientConfiguration.hpp"
#include "Orvella/Sharing/PrivateShareService.hpp"
#include "Orvella/Sharing/PublicShareService.hpp"
#include "Orvella/Sharing/ShareFlow.hpp"
#include "Orvella/StatusItem/StatusItemNavigator.hpp"
#include "Orvella/UI/Navigator/NavigatorWindows.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Store/FileStore.hpp"

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace Orvella {

// The one object that opens things: the brand's pages, the cloud folder,
// the windows, the popover, both sharing dialogs, share alerts and the
// logout question. Its callers may be on any thread for the share flows and
// the link copy; every call into the desktop (clipboard, notifications,
// windows, alerts, opening addresses) is made on the UI scheduler.
// Made with `std::make_shared`: the share answers hold it weakly.
class Navigator final : public NavigatorActions,
                        public StatusItemNavigator,
                        public PopoverNavigator,
                        public ShareDurationNavigator,
                        public SharePresenter,
                        public std::enable_shared_from_this<Navigator> {
public:
    struct Services {
        std::shared_ptr<NavigatorWindows> windows;
        std::shared_ptr<Workspace> workspace;
        std::shared_ptr<Pasteboard> pasteboard;
        std::shared_ptr<AlertPresenter> alerts;
        std::shared_ptr<UserNotificationCenter> notificationCenter;
        std::shared_ptr<const ClientConfiguration> configuration;
        std::shared_ptr<APIManager> apiManager;
        std::shared_ptr<PublicShareService> publicShareService;
        std::shared_ptr<PrivateShareService> privateShareService;
        std::shared_ptr<Sync::FileStore> fileStore;
        // The current cloud folder (it may change while the application runs).
        std::function<Platform::URL()> cloudFolderURL;
        // The update check; none without an updater.
        std::function<void(QObject* sender)> checkForUpdates;
        Reactive::SchedulerPtr uiScheduler;
        // The main queue, for the delayed close of the private share window.
        Reactive::DateSchedulerPtr mainQueue;
    };

    explicit Navigator(Services services);

    // NavigatorActions
    void openCloudFolder(QObject* sender) override;
    void openHelpURL(QObject* sender) override;
    void openContactURL(QObject* sender) override;
    void openImprintURL(QObject* sender) override;
    void openDataProtectionURL(QObject* sender) override;
    void openPasswordForgottenURL(QObject* sender) override;
    void openRegistration(QObject* sender) override;
    void openHomePageURL(QObject* sender) override;
    void showPreferencesWindow(QObject* sender) override;
    void showLoginWindow(QObject* sender) override;
    void checkForUpdates(QObject* sender) override;
    void showProxyPreferences(QObject* sender) override;
    void showDebugPreferences(QObject* sender) override;
    void logout(QObject* sender) override;

    void togglePopover(const std::any& sender) override;
    void revealInFinder(const Sync::File& file) override;
    void copyPublicLink(const Platform::URL& url) override;

    // The extension asked for a public link or a private share of `file`.
    void sharePublicLink(Sync::FileRef file);
    void sharePrivately(Sync::FileRef file);

    // A top-level window showing `content`, which it owns until it closes
    // (then both are freed), at least as wide as its title bar needs for its
    // whole title. Main thread only.
    QWidget* presentInWindow(QWidget* content, const std::string& title);

    // SharePresenter: the dialogs and an alert for a failed share request. Main thread only.
    void presentPublicLinkDialog(const Sync::FileRef& file) override;
    void presentPrivateShareDialog(const Sync::FileRef& file) override;
    void presentError(const Reactive::AnyError& error) override;

    [[nodiscard]] static Alert logoutAlert(const std::string& clientName);
    [[nodiscard]] static Alert errorAlert(const Reactive::AnyError& error);

    [[nodiscard]] NavigatorWindows& windows() const { return *m_services.windows; }

private:
    void onUIThread(std::function<void()> work) const;
    void open(const Platform::URL& url) const;
    void closeLoginWindowIfSentFromIt(QObject* sender) const;

    Services m_services;
    ShareFlow m_shareFlow;
};

} // namespace Orvella
