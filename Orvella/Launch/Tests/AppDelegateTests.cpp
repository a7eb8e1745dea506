#include "Orvella/Launch/AppDelegate.hpp"
#include "Orvella/Launch/DatabaseCheck.hpp"
#include "Orvella/ShareDialogs/TestSupport/ShareDialogFakes.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/UserDefaults.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <fstream>

namespace Orvella {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Log = std::shared_ptr<std::vector<std::string>>;

struct RecordingExtension final : LaunchExtension {
    Log log;
    explicit RecordingExtension(Log log) : log(std::move(log)) {}
    void unregisterExtension() override { log->push_back("unregister"); }
    void registerExtension() override { log->push_back("register"); }
    void killRunningExtensions() override { log->push_back("kill"); }
};

struct RecordingMover final : ApplicationMover {
    Log log;
    explicit RecordingMover(Log log) : log(std::move(log)) {}
    void moveToApplicationsFolderIfNecessary() override { log->push_back("move"); }
};

struct RecordingTracking final : TrackingManager {
    Log log;
    explicit RecordingTracking(Log log) : log(std::move(log)) {}
    void trackAppStart() override { log->push_back("APP_START"); }
    void trackLogin() override { log->push_back("LOGIN"); }
    void trackDatabaseLost() override { log->push_back("ERROR_DB_LOST"); }
};

struct RecordingLaunchNavigator final : LaunchNavigator {
    Log log;
    explicit RecordingLaunchNavigator(Log log) : log(std::move(log)) {}
    void sharePublicLink(Sync::FileRef file) override { log->push_back("public " + file->fileName()); }
    void sharePrivately(Sync::FileRef file) override { log->push_back("private " + file->fileName()); }
    void showLoginWindow() override { log->push_back("showLogin"); }
    void showPopover() override { log->push_back("showPopover"); }
};

struct RecordingChannel final : LaunchChannel {
    Log log;
    std::function<void(const Sync::SyncFileID&)> publicHandler;
    std::function<void(const Sync::SyncFileID&)> privateHandler;
    explicit RecordingChannel(Log log) : log(std::move(log)) {}
    void replyToPings() override { log->push_back("replyToPings"); }
    Registration onCreatePublicShare(std::function<void(const Sync::SyncFileID&)> handler) override
    {
        log->push_back("listenPublic");
        publicHandler = std::move(handler);
        return {};
    }
    Registration onCreatePrivateShare(std::function<void(const Sync::SyncFileID&)> handler) override
    {
        log->push_back("listenPrivate");
        privateHandler = std::move(handler);
        return {};
    }
    void reloadUserDefaults() override { log->push_back("reloadUserDefaults"); }
};

void writeFile(const fs::path& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary) << contents;
}

class AppDelegateTest : public ::testing::Test {
protected:
    Platform::Testing::TemporaryDirectory home;
    Log log = std::make_shared<std::vector<std::string>>();
    std::optional<std::string> storedVersion;
    bool loggedIn = true;
    int suite = 0;
    std::shared_ptr<RecordingChannel> channel = std::make_shared<RecordingChannel>(log);
    std::shared_ptr<Testing::ShareRecordStore> store = std::make_shared<Testing::ShareRecordStore>();
    fs::path group = fs::path(home.path()) / "share" / "group.orvella";

    AppDelegate::Services services()
    {
        return AppDelegate::Services {
            .groupContainer = group,
            .oldExtensionContainer = fs::path(home.path()) / "share" / "orvella.extension",
            .oldSuiteFileName = "orvella.extension.plist",
            .suiteFileName = "group.orvella.plist",
            .standardDefaults = std::make_shared<StandardDefaults>(fs::path(home.path()) / "config" / "defaults.json"),
            .arguments = { "/usr/bin/orvella" },
            .mover = std::make_shared<RecordingMover>(log),
            .extension = std::make_shared<RecordingExtension>(log),
            .versionString = "1.4 (12)",
            .lastAppVersion = [this] { return storedVersion; },
            .setLastAppVersion = [this](const std::string& version) { log->push_back("lastAppVersion " + version); storedVersion = version; },
            .flushSettings = [this] { log->push_back("flush"); },
            .tracking = std::make_shared<RecordingTracking>(log),
            .enableStatusItem = [this] { log->push_back("statusItem"); },
            .channel = channel,
            .fileStore = store,
            .navigator = std::make_shared<RecordingLaunchNavigator>(log),
            .sharedSuite = &suite,
            .isLoggedIn = [this] { return loggedIn; },
            .postWillTerminate = [this] { log->push_back("willTerminate"); },
            .log = [this](const std::string& line) { log->push_back("log " + line); },
        };
    }
};

TEST_F(AppDelegateTest, RunsTheStepsInOrderAndKillsOnlyOnANewVersion)
{
    ::unsetenv("REALM_DISABLE_ANALYTICS");
    AppDelegate first(services());
    ASSERT_TRUE(first.applicationDidFinishLaunching());
    EXPECT_EQ(*log, (std::vector<std::string> { "move", "unregister", "kill", "statusItem", "replyToPings", "listenPublic",
                        "listenPrivate", "register", "APP_START", "lastAppVersion 1.4 (12)" }));
    EXPECT_STREQ(::getenv("REALM_DISABLE_ANALYTICS"), "1");

    log->clear();
    auto again = services();
    again.arguments.push_back("SKIP_LETS_MOVE_TEST");
    AppDelegate second(std::move(again));
    ASSERT_TRUE(second.applicationDidFinishLaunching());
    EXPECT_EQ(log->front(), "unregister") << "no move with SKIP_LETS_MOVE_TEST";
    EXPECT_EQ(std::ranges::count(*log, std::string("kill")), 0) << "the same version kills nothing";
    EXPECT_TRUE(second.shouldTerminateNow());
}

TEST_F(AppDelegateTest, LoggedOutShowsTheLoginWindowAndRegistersNothing)
{
    loggedIn = false;
    AppDelegate delegate(services());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(std::ranges::count(*log, std::string("showLogin")), 1);
    EXPECT_EQ(std::ranges::count(*log, std::string("register")), 0);
}

TEST_F(AppDelegateTest, AGarbageDatabaseGoesWithItsWalAndShmButTheLaunchGoesOn)
{
    fs::create_directories(group);
    writeFile(group / "Cloud.realm", std::string(4096, 'x'));
    writeFile(group / "Cloud.realm-wal", "old pages");
    writeFile(group / "Cloud.realm-shm", "index");
    writeFile(group / "Cloud.realm.lock", "");
    AppDelegate delegate(services());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(std::ranges::count(*log, std::string("log ❗️ Database was lost: file is not a database")), 1);
    EXPECT_EQ(std::ranges::count(*log, std::string("ERROR_DB_LOST")), 1);
    for (const char* name : { "Cloud.realm", "Cloud.realm-wal", "Cloud.realm-shm", "Cloud.realm.lock" }) {
        EXPECT_FALSE(fs::exists(group / name)) << name;
    }
    EXPECT_EQ(log->back(), "lastAppVersion 1.4 (12)");
}

TEST_F(AppDelegateTest, AHealthyDatabaseKeepsTheWalFilesTheExtensionHasOpen)
{
    fs::create_directories(group);
    sqlite3* extension = nullptr;
    ASSERT_EQ(sqlite3_open((group / "Cloud.realm").c_str(), &extension), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(extension, "PRAGMA journal_mode=WAL; CREATE TABLE t(x); INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_TRUE(fs::exists(group / "Cloud.realm-wal"));
    writeFile(group / "Cloud.realm.lock", "");
    AppDelegate delegate(services());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(std::ranges::count(*log, std::string("ERROR_DB_LOST")), 0);
    EXPECT_TRUE(fs::exists(group / "Cloud.realm-wal"));
    EXPECT_TRUE(fs::exists(group / "Cloud.realm-shm"));
    EXPECT_FALSE(fs::exists(group / "Cloud.realm.lock"));
    sqlite3_close(extension);

    log->clear();
    fs::remove(group / "Cloud.realm");
    AppDelegate withoutDatabase(services());
    ASSERT_TRUE(withoutDatabase.applicationDidFinishLaunching());
    EXPECT_EQ(std::ranges::count(*log, std::string("ERROR_DB_LOST")), 0);
}

TEST_F(AppDelegateTest, ShareRequestsReachTheNavigatorOnlyForStoredFiles)
{
    AppDelegate delegate(services());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    store->records[7].file = Testing::sharedItem(7, "Bericht.pdf");
    store->records[8].file = Testing::sharedItem(8, "Projekte", true);
    log->clear();
    channel->publicHandler(Sync::SyncFileID::remote(7));
    channel->publicHandler(Sync::SyncFileID::remote(99));
    channel->privateHandler(Sync::SyncFileID::remote(8));
    channel->privateHandler(Sync::SyncFileID::local("neu"));
    EXPECT_EQ(*log, (std::vector<std::string> { "public Bericht.pdf", "private Projekte" }));
}

// Starting the application again while it runs brings the login window up
// while nobody is logged in, else the popover; each time it is asked.
TEST_F(AppDelegateTest, ASecondStartBringsTheLoginWindowOrThePopoverForward)
{
    std::function<void()> activate;
    auto withActivation = services();
    withActivation.onActivationRequest = [&](std::function<void()> handler) {
        activate = std::move(handler);
        return Platform::NotificationCenter::Registration {};
    };
    loggedIn = false;
    AppDelegate delegate(std::move(withActivation));
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    ASSERT_TRUE(activate);
    log->clear();
    activate();
    activate();
    loggedIn = true;
    activate();
    EXPECT_EQ(*log, (std::vector<std::string> { "showLogin", "showLogin", "showPopover" }));
}

TEST_F(AppDelegateTest, OnlyTheSharedSuitesChangesAreForwarded)
{
    AppDelegate delegate(services());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    log->clear();
    int otherSuite = 0;
    Platform::NotificationCenter::defaultCenter().post(std::string(Platform::UserDefaults::didChangeNotification), &otherSuite);
    EXPECT_TRUE(log->empty());
    Platform::NotificationCenter::defaultCenter().post(std::string(Platform::UserDefaults::didChangeNotification), &suite);
    EXPECT_EQ(*log, std::vector<std::string> { "reloadUserDefaults" });
}

TEST_F(AppDelegateTest, TerminationNotifiesThenUnregistersThenFlushes)
{
    AppDelegate delegate(services());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    log->clear();
    delegate.applicationWillTerminate();
    EXPECT_EQ(*log, (std::vector<std::string> { "willTerminate", "unregister", "flush" }));
}

TEST_F(AppDelegateTest, AMissingRequiredServiceEndsTheLaunchBeforeAnyStepUsesIt)
{
    auto broken = services();
    broken.fileStore = nullptr;
    AppDelegate delegate(std::move(broken));
    auto result = delegate.applicationDidFinishLaunching();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message, "Ein benötigter Dienst der Anwendung konnte nicht erstellt werden.");
    EXPECT_EQ(*log, (std::vector<std::string> { "move", "log ❗️ Ein benötigter Dienst der Anwendung konnte nicht erstellt werden." }));
}

TEST_F(AppDelegateTest, TheOldExtensionFolderMovesOnceIntoAFreshGroupFolder)
{
    const auto old = fs::path(home.path()) / "share" / "orvella.extension";
    fs::create_directories(old / "Library" / "Preferences");
    writeFile(old / "Library" / "Preferences" / "orvella.extension.plist", "{\"a\":1}");
    {
        fs::create_directories(group);
        AppDelegate blocked(services());
        ASSERT_TRUE(blocked.applicationDidFinishLaunching());
        EXPECT_TRUE(fs::exists(old)) << "an existing group folder is never replaced";
        EXPECT_FALSE(StandardDefaults(fs::path(home.path()) / "config" / "defaults.json").boolForKey("GroupContainerMigrationFixDone"));
        fs::remove_all(group);
    }
    AppDelegate delegate(services());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(group / "Library" / "Preferences" / "group.orvella.plist"));
    EXPECT_TRUE(StandardDefaults(fs::path(home.path()) / "config" / "defaults.json").boolForKey("GroupContainerMigrationFixDone"));
}

TEST(ExtensionRegistration, RegistersAtOnceAndEnablesTwoSecondsLater)
{
    struct Registry final : Platform::ExtensionRegistry {
        std::vector<std::string> calls;
        bool add(const std::string&, const std::filesystem::path&) override { calls.emplace_back("add"); return true; }
        bool use(const std::string&) override { calls.emplace_back("use"); return true; }
        bool ignore(const std::string&) override { calls.emplace_back("ignore"); return true; }
        bool remove(const std::filesystem::path&) override { calls.emplace_back("remove"); return true; }
    };
    auto registry = std::make_shared<Registry>();
    auto main = std::make_shared<Reactive::TestScheduler>();
    ExtensionManagerLaunchExtension extension(std::make_shared<ExtensionManager>(ExtensionManager::Configuration {
        .bundleIdentifier = "orvella.glimmerd", .extensionURL = "/nonexistent/glimmerd", .registry = registry, .mainScheduler = main }));
    extension.unregisterExtension();
    extension.registerExtension();
    EXPECT_EQ(registry->calls, (std::vector<std::string> { "ignore", "remove", "add" }));
    main->advance(1999ms);
    EXPECT_EQ(registry->calls.size(), 3u);
    main->advance(1ms);
    EXPECT_EQ(registry->calls.back(), "use");
}

} // namespace
} // namespace Orvella

namespace Orvella {
namespace {

TEST(LostDatabase, GoesWithItsWalAndShmFilesAndNothingElse)
{
    Platform::Testing::TemporaryDirectory directory;
    const fs::path group(directory.path());
    for (const char* name : { "Cloud.realm", "Cloud.realm-wal", "Cloud.realm-shm", "Cloud.realm.management", "Other.realm-wal" }) {
        writeFile(group / name, "x");
    }
    removeLostDatabase(group / "Cloud.realm");
    for (const char* name : { "Cloud.realm", "Cloud.realm-wal", "Cloud.realm-shm" }) {
        EXPECT_FALSE(fs::exists(group / name)) << name;
    }
    EXPECT_TRUE(fs::exists(group / "Cloud.realm.management"));
    EXPECT_TRUE(fs::exists(group / "Other.realm-wal"));
}

} // namespace
} // namespace Orvella

namespace Orvella {
namespace {

TEST_F(AppDelegateTest, ADatabaseThatOpensButFailsTheQuickCheckIsLostToo)
{
    // A file SQLite opens, with a sound header and schema but a damaged table page, is detected at launch and goes.
    fs::create_directories(group);
    const auto file = group / "Cloud.realm";
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &database), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(database,
                  "PRAGMA page_size=4096; CREATE TABLE t(x);"
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200) "
                  "INSERT INTO t SELECT randomblob(500) FROM n;",
                  nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(database);
    ASSERT_GT(fs::file_size(file), 8u * 4096u);
    {
        std::fstream pages(file, std::ios::in | std::ios::out | std::ios::binary);
        pages.seekp(2 * 4096);
        pages << std::string(4096, '\x55');
    }
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    sqlite3_close(database);

    AppDelegate delegate(services());
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());

    EXPECT_EQ(std::ranges::count_if(*log, [](const std::string& line) { return line.starts_with("log ❗️ Database was lost: "); }), 1)
        << ::testing::PrintToString(*log);
    EXPECT_EQ(std::ranges::count(*log, std::string("ERROR_DB_LOST")), 1);
    EXPECT_FALSE(fs::exists(file));
}

} // namespace
} // namespace Orvella
