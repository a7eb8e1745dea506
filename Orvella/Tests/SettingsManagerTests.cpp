#include "Orvella/Settings/EnvironmentNames.hpp"
#include "Orvella/Settings/SettingsManagerFileSystemFileStoreConfiguration.hpp"
#include "Orvella/Tests/SettingsFixture.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

using namespace Orvella;
using Key = CloudUserDefaultsKey;
using ::testing::UnorderedElementsAre;

namespace {

std::string key(Key value)
{
    return std::string(rawValue(value));
}

} // namespace

TEST_F(SettingsFixture, AFirstStartGivesTheDefaultsAndStoresOnlyTheFolderTheEnvironmentAndTheSetupFlag)
{
    // On an empty suite: registered defaults, the default folder, live; then exactly three keys and one autostart item.
    auto manager = makeManager();
    EXPECT_TRUE(manager->enableDesktopNotifications().value());
    EXPECT_TRUE(manager->enableUsageTracking().value());
    EXPECT_TRUE(manager->isSyncEnabled().value());
    EXPECT_TRUE(manager->shouldMoveToTrash().value());
    EXPECT_FALSE(manager->appInstallTracked().value());
    EXPECT_FALSE(manager->enableBandwidthThrottling().value());
    EXPECT_EQ(manager->cloudFolderURL().value(), m_brand.defaultCloudFolderURL());
    EXPECT_EQ(manager->cloudFolderURL().value().path(), m_home.path() + "/brisanto cloud/");
    EXPECT_EQ(manager->environment().value().kind(), Quarlink::Environment::Kind::live);
    EXPECT_FALSE(manager->lastLoggedInUserName().value());
    EXPECT_FALSE(manager->lastAppVersion().value());
    EXPECT_TRUE(manager->shouldLaunchOnStartup().value());
    drain();

    EXPECT_THAT(storedKeys(), UnorderedElementsAre(key(Key::cloudFolderURL), key(Key::apiEnvironment), key(Key::initialSetupComplete)));
    EXPECT_EQ(storedFile()[key(Key::cloudFolderURL)], m_home.path() + "/brisanto cloud");
    EXPECT_EQ(storedFile()[key(Key::apiEnvironment)], "Live");
    EXPECT_EQ(storedFile()[key(Key::initialSetupComplete)], true);
    ASSERT_EQ(autostartEntries().size(), 1u);
    EXPECT_EQ(autostartEntries()[0].filename(), "de.orvella.test.desktop");
    ASSERT_TRUE(LoginItem::applicationItem(context().loginItems));
    // The session's start-up list shows the brand, never the program's name.
    const auto entry = Platform::Testing::readFile(autostartEntries()[0].string());
    EXPECT_NE(entry.find("\nName=brisanto cloud\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=de.orvella.test\n"), std::string::npos) << entry;

    // A second start changes nothing: the same bytes, the same single item.
    auto before = Platform::Testing::readFile((groupFolder() / "defaults.json").string());
    manager.reset();
    auto second = makeManager();
    drain();
    EXPECT_EQ(Platform::Testing::readFile((groupFolder() / "defaults.json").string()), before);
    EXPECT_EQ(autostartEntries().size(), 1u);
    EXPECT_TRUE(second->shouldLaunchOnStartup().value());
}

TEST_F(SettingsFixture, AStartAfterTheUserSwitchedLaunchAtLoginOffLeavesItOff)
{
    // The first run adds the item once; a removed item stays removed at the next start.
    makeManager().reset();
    drain();
    LoginItem::setLaunchAtLogin(false, context().loginItems);
    auto manager = makeManager();
    drain();
    EXPECT_FALSE(manager->shouldLaunchOnStartup().value());
    EXPECT_TRUE(autostartEntries().empty());
    manager->shouldLaunchOnStartup().set(true);
    EXPECT_EQ(autostartEntries().size(), 1u);
    manager->shouldLaunchOnStartup().set(false);
    EXPECT_TRUE(autostartEntries().empty());
}

TEST_F(SettingsFixture, EveryStoredEnvironmentNameFallsBackToLive)
{
    // "Stage", "Test", "Test12" and a URL all read as live, and "Live" is written back.
    for (const char* name : { "Stage", "Test", "Test12", "http://127.0.0.1:1/v2.0" }) {
        ASSERT_TRUE(m_defaults->set(key(Key::apiEnvironment), name));
        auto manager = makeManager();
        EXPECT_EQ(manager->environment().value().kind(), Quarlink::Environment::Kind::live) << name;
        drain();
        EXPECT_EQ(m_defaults->string(key(Key::apiEnvironment)), "Live") << name;
    }
}

TEST_F(SettingsFixture, AnAssignedEnvironmentHoldsOnlyUntilItsTextIsWritten)
{
    // Observers see stage, then live once the write-back has run; the suite ends with "Live".
    auto manager = makeManager();
    drain();
    // Read-backs may also arrive on the suite's watcher thread, and one may
    // still be under way there after the observation is disposed: what the
    // observer writes to is its own.
    struct Seen {
        std::mutex mutex;
        std::vector<std::string> descriptions;
    };
    auto shared = std::make_shared<Seen>();
    auto& mutex = shared->mutex;
    auto& seen = shared->descriptions;
    auto observation = manager->environment().signal().observeValues([shared](const Quarlink::Environment& environment) {
        std::lock_guard lock(shared->mutex);
        shared->descriptions.push_back(description(environment));
    });
    manager->environment().set(Quarlink::Environment::stage());
    EXPECT_EQ(description(manager->environment().value()), "Stage");
    // The read-back of the written text may come from the watcher thread: drain until all has settled.
    EXPECT_TRUE(Platform::Testing::waitUntil([&] {
        drain();
        std::lock_guard lock(mutex);
        return seen.size() >= 2 && description(manager->environment().value()) == "Live"
            && m_defaults->string(key(Key::apiEnvironment)) == "Live";
    }));
    observation.dispose();
    std::lock_guard lock(mutex);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), "Stage");
    EXPECT_EQ(seen.back(), "Live");
    EXPECT_EQ(m_defaults->string(key(Key::apiEnvironment)), "Live");
}

TEST_F(SettingsFixture, AManagerEndsOnlyAfterAChangeFromAnotherProcessHasBeenDelivered)
{
    // Another process's write reaches the property on the suite's watcher
    // thread; the manager ends while that delivery is still under way. It
    // waits for it: its properties must not go while the delivery runs in them.
    auto manager = makeManager();
    drain();
    struct Delivery {
        std::atomic<bool> started { false };
        std::atomic<bool> finished { false };
    };
    auto delivery = std::make_shared<Delivery>();
    auto observation = manager->isSyncEnabled().signal().observeValues(
        [delivery, mainThread = std::this_thread::get_id()](bool) {
            if (std::this_thread::get_id() == mainThread)
                return;
            delivery->started = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            delivery->finished = true;
        });
    auto other = openSuite();
    ASSERT_TRUE(other->set(key(Key::enableSync), !manager->isSyncEnabled().value()));
    ASSERT_TRUE(Platform::Testing::waitUntil([&] { return delivery->started.load(); }));
    observation.dispose();
    manager.reset();
    EXPECT_TRUE(delivery->finished);
}

TEST_F(SettingsFixture, AnotherProcessesWriteReachesItsProperty)
{
    // A second suite on the same file (as another process has) writes; the property follows through the file.
    auto manager = makeManager();
    drain();
    auto other = openSuite();
    ASSERT_TRUE(other->set(key(Key::enableSync), false));
    ASSERT_TRUE(other->set(key(Key::lastLoggedInUserName), "anna@brisanto.example"));
    EXPECT_TRUE(Platform::Testing::waitUntil([&] {
        return !manager->isSyncEnabled().value() && manager->lastLoggedInUserName().value() == "anna@brisanto.example";
    }));
    drain();
    // The read-back does not write: the file keeps the other side's values.
    EXPECT_EQ(storedFile()[key(Key::enableSync)], false);
}

TEST_F(SettingsFixture, TheNilRulesOfTheTwoOptionalTexts)
{
    // nil removes the user name but never the last version; an unchanged Boolean writes nothing.
    auto manager = makeManager();
    manager->lastLoggedInUserName().set("anna");
    manager->lastAppVersion().set("1.0 (3)");
    drain();
    EXPECT_EQ(m_defaults->string(key(Key::lastLoggedInUserName)), "anna");
    EXPECT_EQ(m_defaults->string(key(Key::lastAppVersion)), "1.0 (3)");
    manager->lastLoggedInUserName().set(std::nullopt);
    manager->lastAppVersion().set(std::nullopt);
    manager->enableUsageTracking().set(true);
    drain();
    EXPECT_FALSE(storedFile().contains(key(Key::lastLoggedInUserName)));
    EXPECT_EQ(storedFile()[key(Key::lastAppVersion)], "1.0 (3)");
    EXPECT_FALSE(storedFile().contains(key(Key::enableUsageTracking)));
    manager->enableUsageTracking().set(false);
    drain();
    EXPECT_EQ(storedFile()[key(Key::enableUsageTracking)], false);
}

TEST_F(SettingsFixture, UpdatingTheUserNameToTheSameNameSendsNothing)
{
    // The same name is no new value; a different one and nil are.
    auto manager = makeManager();
    manager->updateLastLoggedInUserName("anna");
    std::atomic<int> changes = 0;
    auto observation = manager->lastLoggedInUserName().signal().observeValues([&](const auto&) { ++changes; });
    manager->updateLastLoggedInUserName("anna");
    EXPECT_EQ(changes, 0);
    manager->updateLastLoggedInUserName(std::nullopt);
    EXPECT_EQ(changes, 1);
    manager->updateLastLoggedInUserName(std::nullopt);
    EXPECT_EQ(changes, 1);
}

TEST_F(SettingsFixture, AStoredUserNameSurvivesTheStartAndTheWriteBacksSettle)
{
    // A second start of a logged-in user: the stored name is kept, and its
    // read-back does not write against the start's empty value for ever.
    ASSERT_TRUE(m_defaults->set(key(Key::lastLoggedInUserName), "anna@brisanto.example"));
    std::atomic<int> writes = 0;
    auto counting = Platform::NotificationCenter::defaultCenter().addObserver(
        std::string(Platform::UserDefaults::didChangeNotification), m_defaults.get(), [&writes](const Platform::Notification&) { ++writes; });
    auto manager = makeManager();
    drain();
    EXPECT_EQ(m_mainQueue->pendingCount(), 0u);
    // The first start's own values (folder, environment, setup flag) and the name once more at most.
    EXPECT_LT(writes.load(), 12);
    EXPECT_EQ(manager->lastLoggedInUserName().value(), "anna@brisanto.example");
    EXPECT_EQ(storedFile()[key(Key::lastLoggedInUserName)], "anna@brisanto.example");
}

TEST_F(SettingsFixture, TwoQuickEditsOfASettingEndWithTheLastOneStored)
{
    // Both edits wait for the main queue; the second replaces the first, so they cannot write each other back.
    auto manager = makeManager();
    drain();
    manager->enableDesktopNotifications().set(false);
    manager->enableDesktopNotifications().set(true);
    manager->lastLoggedInUserName().set("anna");
    manager->lastLoggedInUserName().set("berta");
    drain();
    EXPECT_EQ(m_mainQueue->pendingCount(), 0u);
    EXPECT_TRUE(manager->enableDesktopNotifications().value());
    EXPECT_TRUE(m_defaults->boolValue(key(Key::enableDesktopNotifications)));
    EXPECT_EQ(manager->lastLoggedInUserName().value(), "berta");
    EXPECT_EQ(storedFile()[key(Key::lastLoggedInUserName)], "berta");
}

TEST_F(SettingsFixture, ANewFolderRemovesTheOldBookmarkBeforeItsPathIsStored)
{
    // The cloud-folder queue removes A's bookmark while A is still stored; the main queue then stores B.
    auto manager = makeManager();
    drain();
    Platform::SidebarBookmarks sidebar(bookmarksFile());
    auto folderA = m_brand.defaultCloudFolderURL();
    ASSERT_TRUE(sidebar.append(folderA.path(), "brisanto cloud"));
    ASSERT_TRUE(sidebar.append(m_home.path() + "/Other", "Other"));
    auto folderB = Platform::URL::fileURL(m_home.path() + "/New Cloud", Platform::URL::IsDirectory::Yes);
    manager->cloudFolderURL().set(folderB);
    m_cloudFolderQueue->run();
    EXPECT_EQ(sidebar.entries().size(), 1u);
    EXPECT_EQ(sidebar.entries()[0].name, "Other");
    EXPECT_EQ(m_defaults->string(key(Key::cloudFolderURL)), m_home.path() + "/brisanto cloud");
    drain();
    EXPECT_EQ(m_defaults->string(key(Key::cloudFolderURL)), m_home.path() + "/New Cloud");
}

TEST_F(SettingsFixture, TheSameFolderAgainRemovesNothingAndWritesNothing)
{
    // Assigning the current folder keeps its bookmark and leaves the file as it is.
    auto manager = makeManager();
    drain();
    Platform::SidebarBookmarks sidebar(bookmarksFile());
    ASSERT_TRUE(sidebar.append(m_brand.defaultCloudFolderURL().path(), "brisanto cloud"));
    auto before = Platform::Testing::readFile((groupFolder() / "defaults.json").string());
    auto inode = std::filesystem::last_write_time(groupFolder() / "defaults.json");
    manager->cloudFolderURL().set(m_brand.defaultCloudFolderURL());
    drain();
    EXPECT_EQ(sidebar.entries().size(), 1u);
    EXPECT_EQ(Platform::Testing::readFile((groupFolder() / "defaults.json").string()), before);
    EXPECT_EQ(std::filesystem::last_write_time(groupFolder() / "defaults.json"), inode);
}

TEST_F(SettingsFixture, AnEmptyOrRelativeStoredFolderReadsAsTheDefaultFolder)
{
    // Neither names a folder of its own: the default folder is used and stored absolute, without a trailing "/".
    for (const char* stored : { "", "Cloud", "./Cloud" }) {
        ASSERT_TRUE(m_defaults->set(key(Key::cloudFolderURL), stored));
        auto manager = makeManager();
        EXPECT_EQ(manager->cloudFolderURL().value(), m_brand.defaultCloudFolderURL()) << stored;
        drain();
        EXPECT_EQ(m_defaults->string(key(Key::cloudFolderURL)), m_home.path() + "/brisanto cloud") << stored;
    }
}

TEST_F(SettingsFixture, ARemovedFolderKeyLeavesThePropertyAndStaysAbsent)
{
    // Only present values pass the read-back: the folder stays and the key stays absent until the folder changes.
    ASSERT_TRUE(m_defaults->set(key(Key::cloudFolderURL), m_home.path() + "/Mine/"));
    auto manager = makeManager();
    drain();
    EXPECT_EQ(manager->cloudFolderURL().value().path(), m_home.path() + "/Mine/");
    EXPECT_EQ(m_defaults->string(key(Key::cloudFolderURL)), m_home.path() + "/Mine");
    ASSERT_TRUE(m_defaults->remove(key(Key::cloudFolderURL)));
    drain();
    EXPECT_EQ(manager->cloudFolderURL().value().path(), m_home.path() + "/Mine/");
    EXPECT_FALSE(storedFile().contains(key(Key::cloudFolderURL)));
}

TEST_F(SettingsFixture, AFlushRunsTheWaitingWriteBacksAtOnce)
{
    // A change made just before the end reaches the file without the main queue running.
    auto manager = makeManager();
    drain();
    manager->enableBandwidthThrottling().set(true);
    manager->lastAppVersion().set("2.0 (7)");
    EXPECT_FALSE(storedFile().contains(key(Key::enableBandwidthThrottling)));
    manager->flush();
    EXPECT_EQ(storedFile()[key(Key::enableBandwidthThrottling)], true);
    EXPECT_EQ(storedFile()[key(Key::lastAppVersion)], "2.0 (7)");
    manager->isSyncEnabled().set(false);
    manager.reset();
    EXPECT_EQ(storedFile()[key(Key::enableSync)], false);
    m_mainQueue->run();
}

TEST_F(SettingsFixture, TheFileStoreConfigurationFollowsTheSettingsLive)
{
    // The engine's views see every later change of the folder and of the Trash setting.
    auto manager = makeManager();
    SettingsManagerFileSystemFileStoreConfiguration configuration(manager);
    auto folder = configuration.folderURL();
    auto trash = configuration.movesToTrash();
    auto other = Platform::URL::fileURL(m_home.path() + "/Else", Platform::URL::IsDirectory::Yes);
    manager->cloudFolderURL().set(other);
    manager->shouldMoveToTrash().set(false);
    EXPECT_EQ(folder.value(), other);
    EXPECT_FALSE(trash.value());
    EXPECT_EQ(&manager->isSyncEnabled(), &static_cast<SyncEnabler&>(*manager).isSyncEnabled());
    EXPECT_EQ(&manager->environment(), &static_cast<EnvironmentSwitcher&>(*manager).environment());
}
