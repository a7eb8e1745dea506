#include "Platform/Desktop/DesktopNotifications.hpp"

#include "Platform/Desktop/Tests/PrivateSessionBus.hpp"
#include "Platform/Desktop/Tests/RecordingNotificationServer.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace Platform;
using Platform::Testing::RecordingNotificationServer;

TEST(DesktopNotificationsTests, DeliversReplacesAndRemovesByIdentifierOnARealBus)
{
    // Against a recording server on a session bus: a second delivery of one identifier replaces the first, removal closes only it, unknown identifiers change nothing.
    auto bus = Testing::PrivateSessionBus::start();
    ASSERT_TRUE(bus);
    RecordingNotificationServer server(bus->address(), false);
    ASSERT_TRUE(server.isServing());
    auto notifications = DesktopNotifications::create({ .applicationName = "brisanto cloud", .busAddress = bus->address() });
    ASSERT_TRUE(notifications->isConnected());

    notifications->deliver("Synchronisierung fehlgeschlagen", "Erster Fehler", "sync-error");
    notifications->deliver("Freigabe erstellt", "Link kopiert");
    notifications->deliver("Synchronisierung fehlgeschlagen", "Zweiter Fehler", "sync-error");
    auto shown = server.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].body, "Zweiter Fehler");
    EXPECT_EQ(shown[0].applicationName, "brisanto cloud");
    EXPECT_EQ(shown[1].summary, "Freigabe erstellt");

    notifications->remove("unknown");
    EXPECT_EQ(server.shown().size(), 2u);
    notifications->remove("sync-error");
    shown = server.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].summary, "Freigabe erstellt");
    notifications->remove("sync-error");
    EXPECT_EQ(server.calls().back().method, "CloseNotification");
    EXPECT_EQ(std::ranges::count(server.calls(), std::string("CloseNotification"), &RecordingNotificationServer::Call::method), 1);
}

TEST(DesktopNotificationsTests, TextsStayPlainText)
{
    // Line breaks and control characters become blanks; "&", "<" and ">" are escaped only where the server reads markup in the body.
    auto bus = Testing::PrivateSessionBus::start();
    ASSERT_TRUE(bus);
    {
        RecordingNotificationServer server(bus->address(), true);
        ASSERT_TRUE(server.isServing());
        auto notifications = DesktopNotifications::create({ .applicationName = "app", .busAddress = bus->address() });
        notifications->deliver("Titel\nmit <b>", "A & B <i>x</i>\r\nzwei\tdrei\x07", std::nullopt);
        auto shown = server.shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].summary, "Titel mit <b>");
        EXPECT_EQ(shown[0].body, "A &amp; B &lt;i&gt;x&lt;/i&gt;  zwei drei ");
    }
    RecordingNotificationServer plain(bus->address(), false);
    ASSERT_TRUE(plain.isServing());
    auto notifications = DesktopNotifications::create({ .applicationName = "app", .busAddress = bus->address() });
    notifications->deliver("T", "A & B\n<i>", std::nullopt);
    EXPECT_EQ(plain.shown().at(0).body, "A & B <i>");
}

TEST(DesktopNotificationsTests, WithoutABusEveryNotificationIsALogLine)
{
    // No bus answers: delivery and removal are log lines, on one line each.
    Testing::TemporaryDirectory folder;
    LogCapture log;
    auto notifications = DesktopNotifications::create({ .applicationName = "app", .busAddress = "unix:path=" + folder / "none" });
    EXPECT_FALSE(notifications->isConnected());
    notifications->deliver("Titel", "Zeile eins\nZeile zwei", "sync-error");
    notifications->remove("sync-error");
    EXPECT_TRUE(log.contains("Mitteilung: Titel – Zeile eins Zeile zwei"));
    EXPECT_TRUE(log.contains("Mitteilung zurückgezogen: sync-error"));
}

TEST(DesktopNotificationsTests, TheDefaultBusIsTheSessionBus)
{
    // Inside a session (dbus-run-session) a server there gets the notification; without one, nothing connects and the notification is logged.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) {
        LogCapture log;
        auto notifications = DesktopNotifications::create({ .applicationName = "app" });
        EXPECT_FALSE(notifications->isConnected());
        notifications->deliver("Ohne", "Bus");
        EXPECT_TRUE(log.contains("Mitteilung: Ohne – Bus"));
        return;
    }
    RecordingNotificationServer server(address, false);
    ASSERT_TRUE(server.isServing());
    auto notifications = DesktopNotifications::create({ .applicationName = "app" });
    ASSERT_TRUE(notifications->isConnected());
    notifications->deliver("Mit", "Bus");
    ASSERT_EQ(server.shown().size(), 1u);
    EXPECT_EQ(server.shown()[0].summary, "Mit");
}
