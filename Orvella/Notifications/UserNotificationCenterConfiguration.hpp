#pragma once

#include "Orvella/Notifications/UserNotificationCenter.hpp"
#include "Reactive/Property.hpp"

namespace Orvella {

// The centre's delegate: delivery follows "EnableDesktopNotifications" at
// the moment of each delivery; `behavior` decides whether notifications show
// while the application is in front.
class UserNotificationCenterConfiguration final : public UserNotificationCenterDelegate {
public:
    enum class NotificationBehavior {
        ignoreWhenFocused,
        displayWhenFocused,
    };

    UserNotificationCenterConfiguration(Reactive::Property<bool> notificationsEnabled, NotificationBehavior behavior)
        : m_behavior(behavior)
        , m_notificationsEnabled(std::move(notificationsEnabled))
    {
    }

    [[nodiscard]] NotificationBehavior behavior() const { return m_behavior; }
    // Whether a notification arriving while the application is in front shows.
    [[nodiscard]] bool userNotificationCenterShouldPresent() const { return m_behavior == NotificationBehavior::displayWhenFocused; }
    [[nodiscard]] bool userNotificationCenterShouldPresentNotifications() const override { return m_notificationsEnabled.value(); }

private:
    NotificationBehavior m_behavior;
    Reactive::Property<bool> m_notificationsEnabled;
};

} // namespace Orvella
