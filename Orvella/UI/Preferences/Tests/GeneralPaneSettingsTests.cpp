// The general pane over the real settings manager: a click is stored in the
// shared settings suite; a change made elsewhere does not move the box.

#include "Orvella/Tests/SettingsFixture.hpp"
#include "Orvella/UI/Preferences/GeneralPreferencesViewController.hpp"

#include <QCheckBox>

#include <gtest/gtest.h>

using namespace Orvella;

namespace {

class GeneralPaneSettingsTests : public SettingsFixture {};

} // namespace

TEST_F(GeneralPaneSettingsTests, clicksReachTheSuite)
{
    auto settings = makeManager();
    drain();
    GeneralPreferencesViewController pane(std::make_shared<GeneralPreferencesViewModel>(
        settings->shouldLaunchOnStartup(), settings->enableDesktopNotifications(), settings->enableUsageTracking()));
    // Usage tracking is on by default: its inverted box is clear.
    EXPECT_FALSE(pane.enableUsageTrackingButton()->isChecked());
    pane.enableUsageTrackingButton()->click();
    pane.enableDesktopNotificationsButton()->click();
    drain();
    const auto stored = storedFile();
    ASSERT_TRUE(stored.contains("EnableUsageTracking"));
    EXPECT_EQ(stored["EnableUsageTracking"], false);
    ASSERT_TRUE(stored.contains("EnableDesktopNotifications"));
    EXPECT_EQ(stored["EnableDesktopNotifications"], false);

    settings->enableDesktopNotifications().set(true);
    drain();
    EXPECT_FALSE(pane.enableDesktopNotificationsButton()->isChecked());
    EXPECT_EQ(storedFile()["EnableDesktopNotifications"], true);
}
