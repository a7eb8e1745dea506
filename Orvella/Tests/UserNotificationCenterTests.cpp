#include "Orvella/Notifications/UserNotificationCenterConfiguration.hpp"

#include "Platform/Desktop/Tests/PrivateSessionBus.hpp"
#include "Platform/Desktop/Tests/RecordingNotificationServer.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Reactive/MutableProperty.hpp"

#include <gtest/gtest.h>

using namespace Orvella;
using Configuration = UserNotificationCenterConfiguration;

TEST(UserNotificationCenterTests, TheSettingSwitchesDeliveryButNeverRemoval)
{
    // On a real bus with a recording server: off, nothing is delivered and removal still works; on again, the next delivery shows, without re-creating anything.
    auto bus = Platform::Testing::PrivateSessionBus::start();
    ASSERT_TRUE(bus);
    Platform::Testing::RecordingNotificationServer server(bus->address(), false);
    ASSERT_TRUE(server.isServing());
    Reactive::MutableProperty<bool> enabled(true);
    auto configuration = std::make_shared<Configuration>(enabled, Configuration::NotificationBehavior::displayWhenFocused);
    DesktopUserNotificationCenter center(Platform::DesktopNotifications::create({ .applicationName = "brisanto cloud", .busAddress = bus->address() }));
    center.setDelegate(configuration);

    center.deliver("Fehler", "Erster", "sync-error");
    center.deliver("Freigabe", "Link kopiert");
    ASSERT_EQ(server.shown().size(), 2u);
    enabled.set(false);
    center.deliver("Fehler", "Zweiter", "sync-error");
    center.deliver("Freigabe", "Noch einer");
    EXPECT_EQ(server.shown().size(), 2u);
    EXPECT_EQ(server.shown()[0].body, "Erster");
    center.removeDeliveredNotifications("sync-error");
    center.removeDeliveredNotifications("no-such-identifier");
    ASSERT_EQ(server.shown().size(), 1u);
    EXPECT_EQ(server.shown()[0].summary, "Freigabe");

    enabled.set(true);
    center.deliver("Fehler", "Dritter", "sync-error");
    ASSERT_EQ(server.shown().size(), 2u);
    EXPECT_EQ(server.shown()[1].body, "Dritter");
}

TEST(UserNotificationCenterTests, TheBehaviourDecidesAboutTheFrontmostApplication)
{
    // displayWhenFocused presents while in front, ignoreWhenFocused does not; the delegate answers the setting's current value.
    Reactive::MutableProperty<bool> enabled(false);
    Configuration display(enabled, Configuration::NotificationBehavior::displayWhenFocused);
    Configuration ignore(enabled, Configuration::NotificationBehavior::ignoreWhenFocused);
    EXPECT_TRUE(display.userNotificationCenterShouldPresent());
    EXPECT_FALSE(ignore.userNotificationCenterShouldPresent());
    EXPECT_FALSE(display.userNotificationCenterShouldPresentNotifications());
    enabled.set(true);
    EXPECT_TRUE(ignore.userNotificationCenterShouldPresentNotifications());
}

TEST(UserNotificationCenterTests, WithoutABusNotificationsAreLogLines)
{
    // No bus answers: a delivery is a log line, and switched off it is not even that.
    Platform::Testing::TemporaryDirectory folder;
    Reactive::MutableProperty<bool> enabled(true);
    auto configuration = std::make_shared<Configuration>(enabled, Configuration::NotificationBehavior::displayWhenFocused);
    DesktopUserNotificationCenter center(Platform::DesktopNotifications::create({ .applicationName = "app", .busAddress = "unix:path=" + folder / "none" }));
    center.setDelegate(configuration);
    Platform::LogCapture log;
    center.deliver("Fehler", "Sichtbar");
    enabled.set(false);
    center.deliver("Fehler", "Unsichtbar");
    EXPECT_TRUE(log.contains("Mitteilung: Fehler – Sichtbar"));
    EXPECT_FALSE(log.contains("Unsichtbar"));
}
