#pragma once

// Orvella/Notifications: desktop notifications, switched by the user's setting.

#include "Platform/Desktop/DesktopNotifications.hpp"

#include <memory>
#include <optional>
#include <string>

namespace Orvella {

// Decides whether the centre may deliver anything at all.
class UserNotificationCenterDelegate {
public:
    virtual ~UserNotificationCenterDelegate() = default;
    [[nodiscard]] virtual bool userNotificationCenterShouldPresentNotifications() const = 0;
};

// What every consumer gets instead of the concrete centre.
class UserNotificationCenter {
public:
    virtual ~UserNotificationCenter() = default;
    void deliver(const std::string& title, const std::string& informativeText) { deliver(title, informativeText, std::nullopt); }
    // Nothing when the delegate answers that notifications may not be presented;
    // a notification with the identifier of one delivered before replaces it.
    virtual void deliver(const std::string& title, const std::string& informativeText, const std::optional<std::string>& identifier) = 0;
    // Withdraws every delivered notification with exactly this identifier
    // (also while notifications are switched off).
    virtual void removeDeliveredNotifications(const std::string& identifier) = 0;
};

// The desktop's notification server as `UserNotificationCenter`.
class DesktopUserNotificationCenter final : public UserNotificationCenter {
public:
    explicit DesktopUserNotificationCenter(std::shared_ptr<Platform::DesktopNotifications> notifications)
        : m_notifications(std::move(notifications))
    {
    }

    // Held weakly: without a living delegate everything is delivered.
    void setDelegate(std::weak_ptr<const UserNotificationCenterDelegate> delegate) { m_delegate = std::move(delegate); }

    using UserNotificationCenter::deliver;
    void deliver(const std::string& title, const std::string& informativeText, const std::optional<std::string>& identifier) override
    {
        if (auto delegate = m_delegate.lock(); delegate && !delegate->userNotificationCenterShouldPresentNotifications())
            return;
        m_notifications->deliver(title, informativeText, identifier);
    }
    void removeDeliveredNotifications(const std::string& identifier) override { m_notifications->remove(identifier); }

private:
    std::shared_ptr<Platform::DesktopNotifications> m_notifications;
    std::weak_ptr<const UserNotificationCenterDelegate> m_delegate;
};

} // namespace Orvella
