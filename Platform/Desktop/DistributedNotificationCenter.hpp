#pragma once

// Platform/Desktop: the desktop services of the application and its
// file-manager extension: notifications between processes, the message
// channel, the keychain, desktop notifications, the extension registry with
// its process control, and the file manager's sidebar bookmarks.

#include "Platform/Foundation/NotificationCenter.hpp"

#include <nlohmann/json.hpp>

#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

namespace Platform {

// One notification between processes: a name and a JSON user info (null when none).
struct DistributedNotification {
    std::string name;
    nlohmann::json userInfo;
};

// Notifications between the processes of one user that share a folder (the
// group directory's "notifications/"). Each centre binds a unix datagram
// socket there, named after its process and a random suffix; a post sends
// one datagram to every socket of the folder, its own included, so it
// reaches every live centre. Sockets of centres that died are removed by the
// next post that finds them unanswered.
//
// Socket addresses that would not fit a unix address go through the folder's
// descriptor ("/proc/self/fd/<n>/<name>"); the abstract namespace, open to
// every local user, is never used. The folder is made 0700.
//
// Threading: `post` from any thread; it blocks while a receiver's queue is
// full (up to a second per receiver). Observers run on the centre's receiver
// thread, one notification after another in the order they arrived. Once an
// observer's registration is removed, it is not called again.
class DistributedNotificationCenter {
public:
    using Observer = std::function<void(const DistributedNotification&)>;

    // The largest user info a post can carry, as JSON text.
    static constexpr std::size_t maximumMessageSize = 64 * 1024;

    [[nodiscard]] static std::expected<std::shared_ptr<DistributedNotificationCenter>, std::error_code> open(
        std::filesystem::path folder);
    ~DistributedNotificationCenter();
    DistributedNotificationCenter(const DistributedNotificationCenter&) = delete;
    DistributedNotificationCenter& operator=(const DistributedNotificationCenter&) = delete;

    // Sends to every live centre. Returns how many received it (this one
    // counted). A user info too large for one datagram is refused (0).
    std::size_t post(const std::string& name, const nlohmann::json& userInfo = nullptr);

    // Calls `observer` for every notification named `name`.
    [[nodiscard]] NotificationCenter::Registration addObserver(std::string name, Observer observer);

    // The folder of the sockets.
    [[nodiscard]] const std::filesystem::path& folder() const;

    struct State;

private:
    explicit DistributedNotificationCenter(std::shared_ptr<State> state);
    std::shared_ptr<State> m_state;
};

} // namespace Platform
