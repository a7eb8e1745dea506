#include "Glimmerd/FinderSync/FinderSync.hpp"
#include "Glimmerd/Tests/FinderSyncFakes.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>

using namespace GlimmerdTesting;
using namespace std::chrono_literals;
using Glimmerd::FinderSync;
using Platform::URL;
using Sync::FileSyncStatus;

// Only the extension's own factory can make its key: nobody else builds one half set up.
static_assert(!std::is_default_constructible_v<Platform::PassKey<FinderSync>>);

namespace {

class FinderSyncTests : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(directory / "brisanto cloud/Docs");
        Platform::Testing::writeFile(directory / "brisanto cloud/a.txt", "a");
        cloudPath = directory / "brisanto cloud";
        settings->value = cloudPath;
    }

    std::shared_ptr<FinderSync> makeExtension()
    {
        Glimmerd::FinderSyncEnvironment environment;
        environment.syncController = controller;
        environment.fileStore = fileStore;
        environment.fileStatusStore = statusStore;
        environment.channel = channel;
        environment.settings = settings;
        environment.mainScheduler = scheduler;
        environment.isDatabaseReadable = [this] { return databaseReadable; };
        environment.launchPath = "/usr/bin/glimmerd";
        environment.clientName = "brisanto cloud";
        return FinderSync::create(std::move(environment));
    }

    // Answers the ping with this index and lets the main thread run.
    void answer(std::size_t ping, bool success)
    {
        channel->pongs.at(ping)(success);
        scheduler->advance();
    }

    std::shared_ptr<FinderSync> watching()
    {
        auto extension = makeExtension();
        answer(0, true);
        return extension;
    }

    URL item(const std::string& relative) { return URL::fileURL(cloudPath + "/" + relative); }
    std::string badge(const URL& url) { return controller->badgeIdentifier(url).value_or("-"); }
    void select(std::vector<URL> urls) { controller->setSelection(std::move(urls), URL::fileURL(cloudPath)); }
    std::vector<std::string> titles(const FinderSyncKit::Menu& menu)
    {
        std::vector<std::string> result;
        for (const auto& entry : menu.items)
            result.push_back(entry.title + (entry.enabled ? "" : " (aus)"));
        return result;
    }

    Platform::Testing::TemporaryDirectory directory;
    std::string cloudPath;
    std::shared_ptr<FinderSyncKit::FinderSyncController> controller = std::make_shared<FinderSyncKit::FinderSyncController>();
    std::shared_ptr<FakeFileStore> fileStore = std::make_shared<FakeFileStore>();
    std::shared_ptr<FakeStatusStore> statusStore = std::make_shared<FakeStatusStore>();
    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    std::shared_ptr<FakeSettings> settings = std::make_shared<FakeSettings>();
    std::shared_ptr<Reactive::TestScheduler> scheduler = std::make_shared<Reactive::TestScheduler>();
    bool databaseReadable = true;
};

} // namespace

// Start-up: the launch line, then the ping, the three badges in order, the
// three notifications in order, and one start of the status stream.
TEST_F(FinderSyncTests, StartUpOrder)
{
    Platform::LogCapture log;
    auto extension = makeExtension();
    ASSERT_FALSE(log.lines().empty());
    EXPECT_EQ(log.lines().front(), "Orvella Finder Sync launched from /usr/bin/glimmerd");
    EXPECT_EQ(channel->events, (std::vector<std::string> { "ping", "observe" }));
    EXPECT_EQ(channel->observedNames, (std::vector<std::string> { "CloudAppDidFinishLaunchingNotification",
                                          "CloudAppWillTerminateNotification", "CloudUserDefaultsDidChange" }));
    auto badges = controller->badgeImages();
    ASSERT_EQ(badges.size(), 3u);
    EXPECT_EQ(badges[0], (FinderSyncKit::BadgeImage { "Idle", "status-uptodate", "Idle" }));
    EXPECT_EQ(badges[1], (FinderSyncKit::BadgeImage { "Syncing", "status-sync", "Syncing" }));
    EXPECT_EQ(badges[2], (FinderSyncKit::BadgeImage { "Error", "status-error", "Error" }));
    EXPECT_EQ(statusStore->starts, 1);
    EXPECT_TRUE(controller->directoryURLs().empty());
}

// No answer within 2.0 s: "no success, will do nothing" and nothing observed;
// an answer that comes after the time-out changes nothing.
TEST_F(FinderSyncTests, UnansweredPingObservesNothing)
{
    Platform::LogCapture log;
    auto extension = makeExtension();
    scheduler->advance(1999ms);
    EXPECT_FALSE(log.contains("no success"));
    scheduler->advance(1ms);
    EXPECT_TRUE(log.contains("no success, will do nothing"));
    EXPECT_TRUE(log.contains("stopped watching folder: nil"));
    answer(0, true);
    EXPECT_FALSE(log.contains("success, trying to start up now"));
    EXPECT_TRUE(controller->directoryURLs().empty());
}

// A success observes the standardised folder: "~" and ".." resolved; the
// started line gives its path.
TEST_F(FinderSyncTests, SuccessObservesStandardisedFolder)
{
    auto* savedHome = std::getenv("HOME");
    std::string home = savedHome ? savedHome : "";
    setenv("HOME", directory.path().c_str(), 1);
    settings->value = "~/brisanto cloud/Docs/../";
    Platform::LogCapture log;
    auto extension = makeExtension();
    answer(0, true);
    setenv("HOME", home.c_str(), 1);
    EXPECT_TRUE(log.contains("success, trying to start up now"));
    EXPECT_TRUE(log.contains("started watching folder: " + cloudPath));
    EXPECT_EQ(controller->directoryURLs(), std::set<URL> { URL::fileURL(cloudPath, URL::IsDirectory::Yes) });
    EXPECT_EQ(extension->currentCloudFolderURL(), URL::fileURL(cloudPath, URL::IsDirectory::Yes));
}

// The application quits: its notification leads to a failing ping and to the
// stopped line with the previous folder as a percent-encoded file URL.
TEST_F(FinderSyncTests, TerminationStopsWatching)
{
    auto extension = watching();
    Platform::LogCapture log;
    channel->post("CloudAppWillTerminateNotification");
    scheduler->advance();
    ASSERT_EQ(channel->pongs.size(), 2u);
    answer(1, false);
    EXPECT_TRUE(log.contains("stopped watching folder: " + URL::fileURL(cloudPath, URL::IsDirectory::Yes).absoluteString()));
    EXPECT_TRUE(log.contains("%20cloud/"));
    EXPECT_TRUE(controller->directoryURLs().empty());
}

// Only the newest ping decides: a late failure (or time-out) of an older ping
// never stops the watching a newer success started, nor the reverse.
TEST_F(FinderSyncTests, OverlappingPings)
{
    auto extension = makeExtension();
    channel->post("CloudUserDefaultsDidChange");
    scheduler->advance();
    ASSERT_EQ(channel->pongs.size(), 2u);
    answer(1, true);
    EXPECT_FALSE(controller->directoryURLs().empty());
    answer(0, false);
    scheduler->advance(3s);
    EXPECT_FALSE(controller->directoryURLs().empty());

    channel->post("CloudAppDidFinishLaunchingNotification");
    scheduler->advance();
    channel->post("CloudAppWillTerminateNotification");
    scheduler->advance();
    ASSERT_EQ(channel->pongs.size(), 4u);
    answer(3, false);
    EXPECT_TRUE(controller->directoryURLs().empty());
    answer(2, true);
    EXPECT_TRUE(controller->directoryURLs().empty());
}

// A moved cloud folder replaces the old one in one step; no "CloudFolderURL"
// (or no settings file) observes nothing after a successful ping.
TEST_F(FinderSyncTests, FolderChangesAndMissingSetting)
{
    auto extension = watching();
    std::filesystem::create_directories(directory / "moved");
    settings->value = directory / "moved";
    channel->post("CloudUserDefaultsDidChange");
    scheduler->advance();
    answer(1, true);
    EXPECT_EQ(controller->directoryURLs(), std::set<URL> { URL::fileURL(directory / "moved", URL::IsDirectory::Yes) });

    settings->value.reset();
    channel->post("CloudUserDefaultsDidChange");
    scheduler->advance();
    answer(2, true);
    EXPECT_TRUE(controller->directoryURLs().empty());
}

// Badge requests: unknown reads "Syncing"; the cloud folder asks whether
// anything syncs and never shows "Error"; items are tracked.
TEST_F(FinderSyncTests, BadgeRequests)
{
    auto extension = watching();
    statusStore->statuses[cloudPath + "/a.txt"] = FileSyncStatus::error;
    statusStore->statuses[cloudPath + "/Docs"] = FileSyncStatus::upToDate;
    extension->requestBadgeIdentifier(item("a.txt"));
    extension->requestBadgeIdentifier(item("Docs"));
    extension->requestBadgeIdentifier(item("new.txt"));
    EXPECT_EQ(badge(item("a.txt")), "Error");
    EXPECT_EQ(badge(item("Docs")), "Idle");
    EXPECT_EQ(badge(item("new.txt")), "Syncing");
    EXPECT_EQ(statusStore->tracked.size(), 3u);

    auto root = URL::fileURL(cloudPath);
    extension->requestBadgeIdentifier(root);
    EXPECT_EQ(badge(root), "Idle");
    statusStore->syncing = true;
    extension->requestBadgeIdentifier(root);
    EXPECT_EQ(badge(root), "Syncing");
    EXPECT_FALSE(statusStore->tracked.contains(root));
}

// Deliveries badge their entries and the folder (syncing when any entry
// syncs), skip the folder while none is observed, and do nothing once the
// extension has gone.
TEST_F(FinderSyncTests, Deliveries)
{
    auto extension = makeExtension();
    statusStore->send({ { item("a.txt"), FileSyncStatus::error } });
    scheduler->advance();
    EXPECT_EQ(badge(item("a.txt")), "Error");
    EXPECT_EQ(controller->badgeImages().size(), 3u);
    EXPECT_EQ(badge(URL::fileURL(cloudPath, URL::IsDirectory::Yes)), "-");

    answer(0, true);
    auto root = URL::fileURL(cloudPath, URL::IsDirectory::Yes);
    statusStore->send({ { item("a.txt"), FileSyncStatus::error }, { item("b.txt"), FileSyncStatus::upToDate } });
    scheduler->advance();
    EXPECT_EQ(badge(item("a.txt")), "Error");
    EXPECT_EQ(badge(item("b.txt")), "Idle");
    EXPECT_EQ(badge(root), "Idle");
    statusStore->send({ { item("a.txt"), FileSyncStatus::upToDate }, { item("b.txt"), FileSyncStatus::syncing },
        { item("c.txt"), FileSyncStatus::upToDate } });
    scheduler->advance();
    EXPECT_EQ(badge(root), "Syncing");

    statusStore->send({ { item("a.txt"), FileSyncStatus::error } });
    extension.reset();
    scheduler->advance();
    EXPECT_EQ(badge(item("a.txt")), "Idle");
}

// An unreadable database keeps the status stream unstarted, and it starts
// once the database can be read.
TEST_F(FinderSyncTests, StatusStreamWaitsForTheDatabase)
{
    databaseReadable = false;
    auto extension = makeExtension();
    EXPECT_EQ(statusStore->starts, 0);
    scheduler->advance(5s);
    EXPECT_EQ(statusStore->starts, 0);
    databaseReadable = true;
    scheduler->advance(5s);
    EXPECT_EQ(statusStore->starts, 1);
    scheduler->advance(60s);
    EXPECT_EQ(statusStore->starts, 1);
}

// The menu: only for one selected item; titles by public link; the folder
// entry for directories, looked up with a trailing "/"; enabled by record.
TEST_F(FinderSyncTests, MenuRules)
{
    auto extension = watching();
    fileStore->add("/a.txt", 11, true);
    fileStore->add("/Docs/", 12);

    select({ item("a.txt"), item("Docs") });
    EXPECT_FALSE(extension->menu(FinderSyncKit::MenuKind::contextualMenuForItems));
    extension->sharePublicLink();
    extension->shareFolder();
    EXPECT_TRUE(channel->shares.empty());

    select({ item("a.txt") });
    auto shared = extension->menu(FinderSyncKit::MenuKind::toolbarItemMenu);
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->title, "brisanto cloud");
    EXPECT_EQ(titles(*shared), std::vector<std::string> { "Link teilen" });
    EXPECT_EQ(shared->items[0].action, "sharePublicLink");
    EXPECT_EQ(shared->items[0].image, "MenueBarIcon");
    EXPECT_EQ(shared->items[0].keyEquivalent, "");

    select({ item("Docs") });
    auto folder = extension->menu(FinderSyncKit::MenuKind::contextualMenuForItems);
    ASSERT_TRUE(folder);
    EXPECT_EQ(titles(*folder), (std::vector<std::string> { "Link teilen \u2026", "Ordner freigeben \u2026" }));
    EXPECT_EQ(fileStore->asked.back(), "/Docs/");

    select({ item("new.txt") });
    EXPECT_EQ(titles(*extension->menu(FinderSyncKit::MenuKind::contextualMenuForItems)),
        std::vector<std::string> { "Link teilen \u2026 (aus)" });
}

// Share requests carry the remote identifier; a local-only identity, the
// cloud folder itself, a sibling whose name starts with the folder's and an
// unobserved folder send nothing.
TEST_F(FinderSyncTests, ShareRequests)
{
    auto extension = watching();
    fileStore->add("/a.txt", 11);
    fileStore->add("/Docs/", 12);
    fileStore->add("/local.txt", std::nullopt);
    fileStore->add("/", 1);

    select({ item("a.txt") });
    extension->performAction({ .action = "sharePublicLink" });
    select({ item("Docs") });
    extension->performAction({ .action = "shareFolder" });
    ASSERT_EQ(channel->shares.size(), 2u);
    EXPECT_EQ(channel->shares[0], std::make_pair(std::string("CloudCreatePublicShare"), Sync::SyncFileID::remote(11)));
    EXPECT_EQ(channel->shares[1], std::make_pair(std::string("CloudCreatePrivateShare"), Sync::SyncFileID::remote(12)));

    select({ item("local.txt") });
    EXPECT_EQ(titles(*extension->menu(FinderSyncKit::MenuKind::contextualMenuForItems)),
        std::vector<std::string> { "Link teilen \u2026" });
    extension->sharePublicLink();

    select({ URL::fileURL(cloudPath) });
    EXPECT_EQ(titles(*extension->menu(FinderSyncKit::MenuKind::contextualMenuForItems)),
        (std::vector<std::string> { "Link teilen \u2026 (aus)", "Ordner freigeben \u2026 (aus)" }));
    extension->sharePublicLink();
    extension->shareFolder();

    fileStore->add("2/a.txt", 13);
    fileStore->add("/2/a.txt", 14);
    select({ URL::fileURL(cloudPath + "2/a.txt") });
    EXPECT_EQ(titles(*extension->menu(FinderSyncKit::MenuKind::contextualMenuForItems)),
        std::vector<std::string> { "Link teilen \u2026 (aus)" });
    extension->sharePublicLink();
    EXPECT_EQ(channel->shares.size(), 2u);

    channel->post("CloudAppWillTerminateNotification");
    scheduler->advance();
    answer(1, false);
    select({ item("a.txt") });
    extension->sharePublicLink();
    EXPECT_EQ(channel->shares.size(), 2u);
}

// A chosen entry carries the record its menu was made for: the request goes
// out for that record without looking the selection up again, even when the
// selection changed in between; an entry whose record has no remote id, or an
// entry the extension did not make, sends nothing.
TEST_F(FinderSyncTests, AChosenEntrySendsTheRecordItWasMadeFor)
{
    auto extension = watching();
    fileStore->add("/a.txt", 11);
    fileStore->add("/Docs/", 12);
    fileStore->add("/local.txt", std::nullopt);

    select({ item("Docs") });
    auto menu = extension->menu(FinderSyncKit::MenuKind::contextualMenuForItems);
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->items.size(), 2u);
    select({ item("a.txt") });
    const auto lookups = fileStore->asked.size();
    extension->performAction(menu->items[1]);
    extension->performAction(menu->items[0]);
    EXPECT_EQ(fileStore->asked.size(), lookups);
    ASSERT_EQ(channel->shares.size(), 2u);
    EXPECT_EQ(channel->shares[0], std::make_pair(std::string("CloudCreatePrivateShare"), Sync::SyncFileID::remote(12)));
    EXPECT_EQ(channel->shares[1], std::make_pair(std::string("CloudCreatePublicShare"), Sync::SyncFileID::remote(12)));

    select({ item("local.txt") });
    auto local = extension->menu(FinderSyncKit::MenuKind::contextualMenuForItems);
    ASSERT_TRUE(local);
    extension->performAction(local->items[0]);
    extension->performAction({ .action = "sharePublicLink", .representedObject = "12x" });
    EXPECT_EQ(channel->shares.size(), 2u);
}

// Folders shown by the file manager come and go; a URL that is no file URL is ignored.
TEST_F(FinderSyncTests, VisibleFolders)
{
    auto extension = watching();
    extension->beginObservingDirectory(item("Docs"));
    extension->beginObservingDirectory(*URL::create("https://example.invalid/Docs"));
    EXPECT_EQ(extension->visibleFolderURLs().size(), 1u);
    extension->endObservingDirectory(item("Docs"));
    EXPECT_TRUE(extension->visibleFolderURLs().empty());
}
