#pragma once

#include "Platform/Desktop/DistributedNotificationCenter.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

namespace Platform {

// The message channel between the application and its file-manager extension.
//
// A message is an identifier and a JSON payload. `sendMessage` writes the
// latest message of each identifier to its own file in the channel's folder
// ("<group>/<directoryName>/<identifier>.json", atomically), then posts the
// whole message (identifier, the sender's sequence number, payload) as a
// distributed notification named by the identifier. Listeners are called with
// the payload carried in that notification, never with a re-read file, so
// back-to-back messages of one identifier all arrive, in the order sent.
// A wormhole does not deliver its own messages to its own listeners (another
// wormhole of the same process gets them).
//
// Pings: `sendPing` posts a ping for an identifier; a wormhole that replies to
// pings of that identifier answers; `pong` is called exactly once: true on
// the first answer, false when none came within the timeout.
//
// Threading: every member may be called from any thread. Listeners and pong
// calls run on the notification centre's receiver thread (a pong of false on
// the timeout scheduler's thread).
class Wormhole : public std::enable_shared_from_this<Wormhole> {
public:
    using Listener = std::function<void(const nlohmann::json& payload)>;

    struct Configuration {
        // The group directory the channel's folder lies in.
        std::filesystem::path applicationGroupDirectory;
        // The channel's folder inside it, made 0700 when missing.
        std::string directoryName = "wormhole";
        // Carries the announcements; every side of the channel uses a centre on the same folder.
        std::shared_ptr<DistributedNotificationCenter> notificationCenter;
        // Runs ping timeouts; a queue scheduler of the wormhole's own when null.
        std::shared_ptr<Reactive::DateScheduler> timeoutScheduler;
        // Logs every message sent and received (identifiers only, never payloads).
        bool loggingEnabled = false;
    };

    [[nodiscard]] static std::expected<std::shared_ptr<Wormhole>, std::error_code> create(Configuration configuration);
    ~Wormhole();
    Wormhole(const Wormhole&) = delete;
    Wormhole& operator=(const Wormhole&) = delete;

    // Stores and announces a message; a null payload is a message without one.
    void sendMessage(const std::string& identifier, const nlohmann::json& payload = nullptr);
    // The payload of the latest message of `identifier` stored in the folder,
    // by any side; nothing when none was sent or the file is unreadable.
    [[nodiscard]] std::optional<nlohmann::json> messageWithIdentifier(const std::string& identifier) const;
    // Removes the stored message of `identifier`.
    void clearMessageContents(const std::string& identifier);

    // Calls `listener` with the payload of every message of `identifier` from
    // another wormhole; lasts as long as the registration.
    [[nodiscard]] NotificationCenter::Registration listenForMessages(const std::string& identifier, Listener listener);

    // Answers every ping of `identifier` from now on, for the wormhole's lifetime.
    void replyToPings(const std::string& identifier);
    // Sends a ping of `identifier`; `pong(true)` on an answer within
    // `timeout`, else `pong(false)`; never both, never twice.
    void sendPing(const std::string& identifier, std::chrono::nanoseconds timeout, std::function<void(bool)> pong);

    // The file the latest message of `identifier` is stored in.
    [[nodiscard]] std::filesystem::path messageFile(const std::string& identifier) const;

    struct State;

private:
    explicit Wormhole(std::shared_ptr<State> state);
    std::shared_ptr<State> m_state;
};

} // namespace Platform
