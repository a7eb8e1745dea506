#pragma once

#include "Sync/Model/SyncFileID.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Glimmerd {

// What the extension needs of the messages between it and the application:
// the ping, the two share requests, and the application's notifications.
//
// Threading: any thread may call; pongs and notification handlers may run
// on any thread (the extension moves them to its main thread itself).
class ExtensionChannel {
public:
    // Lasts as long as a notification registration should; ends it when destroyed.
    using Registration = std::shared_ptr<void>;

    virtual ~ExtensionChannel() = default;

    // Pings the application; `pong(true)` when it answered in time, else
    // `pong(false)`, at most once.
    virtual void ping(std::function<void(bool)> pong) = 0;
    // Asks the application to open its public-link (private-share) dialog for
    // a remote file; nothing is sent for a local identifier.
    virtual void createPublicShareForFile(const Sync::SyncFileID& fileID) = 0;
    virtual void createPrivateShareForFile(const Sync::SyncFileID& fileID) = 0;
    // Calls `handler` with the name of every notification of one of `names`.
    [[nodiscard]] virtual Registration observeNotifications(std::vector<std::string> names,
        std::function<void(const std::string& name)> handler) = 0;
};

// Where the extension reads the cloud folder's location.
class CloudFolderSettings {
public:
    virtual ~CloudFolderSettings() = default;
    // The text stored under "CloudFolderURL"; nothing when the key, the file
    // or the settings folder is missing or the value is no text.
    [[nodiscard]] virtual std::optional<std::string> cloudFolderURL() const = 0;
};

} // namespace Glimmerd
