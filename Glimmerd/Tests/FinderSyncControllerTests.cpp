#include "Glimmerd/FinderSyncKit/FinderSyncController.hpp"

#include <gtest/gtest.h>

using FinderSyncKit::FinderSyncController;
using Platform::URL;

// Badge observers hear only real changes, badge-request observers every set,
// and directory observers only a different set.
TEST(FinderSyncControllerTests, ObserversHearChangesOnly)
{
    FinderSyncController controller;
    std::vector<std::string> changes, requests;
    int directoryChanges = 0;
    controller.observeBadges([&](const URL& url, const std::string& id) { changes.push_back(url.path() + "=" + id); });
    controller.observeBadgeRequests([&](const URL& url, const std::string& id) { requests.push_back(url.path() + "=" + id); });
    controller.observeDirectories([&](const std::set<URL>&) { ++directoryChanges; });

    auto file = URL::fileURL("/c/a");
    controller.setBadgeIdentifier("Idle", file);
    controller.setBadgeIdentifier("Idle", file);
    controller.setBadgeIdentifier("Error", file);
    controller.setBadgeIdentifier("", file);
    EXPECT_EQ(changes, (std::vector<std::string> { "/c/a=Idle", "/c/a=Error", "/c/a=" }));
    EXPECT_EQ(requests.size(), 4u);
    EXPECT_FALSE(controller.badgeIdentifier(file));

    controller.setDirectoryURLs({ URL::fileURL("/c") });
    controller.setDirectoryURLs({ URL::fileURL("/c") });
    controller.setDirectoryURLs({});
    EXPECT_EQ(directoryChanges, 2);
}

// An observer that removes another one while being notified keeps the other
// from being called; registered badge images keep their first order.
TEST(FinderSyncControllerTests, RemovalDuringNotificationAndBadgeImages)
{
    FinderSyncController controller;
    int secondCalls = 0;
    FinderSyncController::ObserverID second = 0;
    controller.observeBadges([&](const URL&, const std::string&) { controller.removeObserver(second); });
    second = controller.observeBadges([&](const URL&, const std::string&) { ++secondCalls; });
    controller.setBadgeIdentifier("Idle", URL::fileURL("/a"));
    EXPECT_EQ(secondCalls, 0);

    controller.setBadgeImage("status-uptodate", "Idle", "Idle");
    controller.setBadgeImage("status-sync", "Syncing", "Syncing");
    controller.setBadgeImage("other", "Idle", "Idle");
    auto images = controller.badgeImages();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0], (FinderSyncKit::BadgeImage { "Idle", "other", "Idle" }));
    EXPECT_EQ(images[1].identifier, "Syncing");
}
