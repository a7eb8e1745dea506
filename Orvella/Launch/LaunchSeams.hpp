#pragma once

#include "Orvella/Extension/ExtensionManager.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Model/SyncFileID.hpp"

#include <functional>

namespace Orvella {

// The file-manager extension as the launch drives it.
class LaunchExtension {
public:
    virtual ~LaunchExtension() = default;
    virtual void unregisterExtension() = 0;
    // Adds it now and switches it on 2.0 s later.
    virtual void registerExtension() = 0;
    virtual void killRunningExtensions() = 0;
};

class ExtensionManagerLaunchExtension final : public LaunchExtension {
public:
    explicit ExtensionManagerLaunchExtension(std::shared_ptr<ExtensionManager> manager) : m_manager(std::move(manager)) {}
    void unregisterExtension() override { m_manager->unregisterExtension(); }
    void registerExtension() override { m_manager->registerExtension(); }
    void killRunningExtensions() override { m_manager->killRunningExtensions(); }

private:
    std::shared_ptr<ExtensionManager> m_manager;
};

// Moving the application into the system's applications folder has no
// counterpart here: nothing is ever moved, so a quit never has to wait.
class ApplicationMover {
public:
    virtual ~ApplicationMover() = default;
    virtual void moveToApplicationsFolderIfNecessary() {}
    [[nodiscard]] virtual bool isMoveInProgress() const { return false; }
};

// What the launch asks of the navigator.
class LaunchNavigator {
public:
    virtual ~LaunchNavigator() = default;
    virtual void sharePublicLink(Sync::FileRef file) = 0;
    virtual void sharePrivately(Sync::FileRef file) = 0;
    // Creates the login window when there is none, brings it up and the application to the front.
    virtual void showLoginWindow() = 0;
    // Shows the popover under the status item (nothing when it is shown already).
    virtual void showPopover() = 0;
};

// The message channel to the extension as the launch uses it.
class LaunchChannel {
public:
    using Registration = Platform::NotificationCenter::Registration;
    virtual ~LaunchChannel() = default;
    virtual void replyToPings() = 0;
    [[nodiscard]] virtual Registration onCreatePublicShare(std::function<void(const Sync::SyncFileID&)> handler) = 0;
    [[nodiscard]] virtual Registration onCreatePrivateShare(std::function<void(const Sync::SyncFileID&)> handler) = 0;
    // Sends the shared settings suite's contents to the extension.
    virtual void reloadUserDefaults() = 0;
};

} // namespace Orvella
