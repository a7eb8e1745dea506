#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// Desktop notifications through the notification server of the session
// (org.freedesktop.Notifications over D-Bus). A notification delivered with
// an identifier replaces the one shown before with that identifier, and can
// be withdrawn by it. Where no bus or no server answers, each notification
// becomes a log line instead.
//
// Texts are shown as plain text: line breaks and other control characters
// become blanks, and "&", "<" and ">" are escaped where the server reads
// markup in the body.
//
// Threading: every member may be called from any thread; calls are
// synchronous (bounded by `timeout`) and serialised.
class DesktopNotifications {
public:
    struct Options {
        // Sent as the application name of every notification.
        std::string applicationName;
        // The bus to use; the session bus when absent.
        std::optional<std::string> busAddress {};
        // How long the server may take to answer one call.
        std::chrono::milliseconds timeout { 2000 };
    };

    [[nodiscard]] static std::shared_ptr<DesktopNotifications> create(Options options);
    ~DesktopNotifications();
    DesktopNotifications(const DesktopNotifications&) = delete;
    DesktopNotifications& operator=(const DesktopNotifications&) = delete;

    // Whether a bus was reached when made (else every notification is logged).
    [[nodiscard]] bool isConnected() const;

    void deliver(const std::string& title, const std::string& text, const std::optional<std::string>& identifier = std::nullopt);
    // Withdraws the shown notification of `identifier`; nothing when there is none.
    void remove(const std::string& identifier);

    struct State;

private:
    explicit DesktopNotifications(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace Platform
