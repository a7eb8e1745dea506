#include "Shared/CloudUserDefaultsKey.hpp"
#include "Shared/SharedConstants.hpp"

#include "Platform/FileSystem/Tests/AsAnotherUser.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using namespace Orvella;
using Platform::Testing::TemporaryDirectory;

TEST(SharedConstantsTests, IdentifiersAreBuiltFromTheTeamAndTheApplicationIdentifier)
{
    // The group identifier is the ten-character team prefix, a full stop, "group." and the application identifier.
    EXPECT_TRUE(std::regex_match(SharedConstants::teamPraefix(), std::regex("[A-Z0-9]{10}")));
    EXPECT_EQ(SharedConstants::applicationGroup(), "group." + SharedConstants::applicationIdentifier());
    EXPECT_EQ(SharedConstants::applicationGroupIdentifier(), SharedConstants::teamPraefix() + ".group." + SharedConstants::applicationIdentifier());
    EXPECT_EQ(SharedConstants::glimmerdBundleIdentifier(), SharedConstants::applicationIdentifier() + ".Glimmerd");
    EXPECT_EQ(SharedConstants::pingIdentifierName(), "Orvella");
    EXPECT_EQ(SharedConstants::didFinishLaunching(), "CloudAppDidFinishLaunchingNotification");
    EXPECT_EQ(SharedConstants::willTerminate(), "CloudAppWillTerminateNotification");
    EXPECT_EQ(SharedConstants::schemaVersion, 2u);
}

TEST(SharedConstantsTests, TheGroupDirectoryIsMadePrivateUnderTheDataHome)
{
    // Without an override the group directory is $XDG_DATA_HOME/<group identifier>/, made 0700; the database is "Cloud.realm" in it.
    TemporaryDirectory home;
    ::unsetenv("ORVELLA_GROUP_CONTAINER");
    ::setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    auto expected = std::filesystem::path(home.path()) / SharedConstants::applicationGroupIdentifier();
    EXPECT_EQ(SharedConstants::groupContainerPath(), expected);
    struct stat status {};
    ASSERT_EQ(::stat(expected.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_EQ(SharedConstants::dataBaseURL().path(), expected.string() + "/Cloud.realm");
    ::setenv("ORVELLA_GROUP_CONTAINER", (home / "override").c_str(), 1);
    EXPECT_EQ(SharedConstants::groupContainerPath(), std::filesystem::path(home / "override"));
    ::unsetenv("ORVELLA_GROUP_CONTAINER");
}

TEST(SharedConstantsTests, AGroupDirectoryThatCannotBeMadeStopsTheProgramWithTheGermanMessage)
{
    // Below a file (/dev/null) no folder can be made: the process ends with status 1 and the message on stderr.
    ::setenv("ORVELLA_GROUP_CONTAINER", "/dev/null/group", 1);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT((void)SharedConstants::groupContainerPath(), ::testing::ExitedWithCode(1),
        "Der Gruppenordner /dev/null/group kann nicht angelegt werden: Not a directory");
    ::unsetenv("ORVELLA_GROUP_CONTAINER");
}

TEST(SharedConstantsTests, AGroupDirectoryAnotherUserCouldHaveMadeIsRefused)
{
    // A group directory of another owner, one others may write to and a link are refused with a log line; the user's
    // own folder that is only too open is narrowed and used. Without HOME nothing lands below /tmp.
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    TemporaryDirectory home;
    auto foreign = home / "foreign";
    ASSERT_EQ(::mkdir(foreign.c_str(), 0777), 0);
    ::chmod(foreign.c_str(), 0777);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    auto linked = home / "linked";
    ASSERT_EQ(::symlink(foreign.c_str(), linked.c_str()), 0);
    for (const auto& folder : { foreign, linked }) {
        ::setenv("ORVELLA_GROUP_CONTAINER", folder.c_str(), 1);
        auto made = SharedConstants::makeGroupContainer();
        ASSERT_FALSE(made.has_value()) << folder;
        EXPECT_NE(made.error().find("wird nicht benutzt"), std::string::npos) << made.error();
    }
    auto open = home / "open";
    ASSERT_EQ(::mkdir(open.c_str(), 0777), 0);
    ::chmod(open.c_str(), 0777);
    ::setenv("ORVELLA_GROUP_CONTAINER", open.c_str(), 1);
    ASSERT_TRUE(SharedConstants::makeGroupContainer().has_value());
    struct stat status {};
    ASSERT_EQ(::stat(open.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 022, 0u);
    ::unsetenv("ORVELLA_GROUP_CONTAINER");

    std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    std::string savedData = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    ::unsetenv("HOME");
    ::unsetenv("XDG_DATA_HOME");
    auto location = SharedConstants::groupContainerLocation();
    EXPECT_FALSE(location.string().starts_with("/tmp")) << location;
    EXPECT_TRUE(location.is_absolute()) << location;
    if (!savedHome.empty())
        ::setenv("HOME", savedHome.c_str(), 1);
    if (!savedData.empty())
        ::setenv("XDG_DATA_HOME", savedData.c_str(), 1);
}

namespace {

unsigned modeOf(const std::filesystem::path& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

TEST(SharedConstantsTests, AnOpenGroupDirectoryAndItsDatabaseBecomeTheUsersAloneAtStart)
{
    // A group directory at 0755 whose database, WAL and shared-memory file an earlier version left at 0644 is
    // narrowed to 0700 and 0600 when it is made, by its owner (an unprivileged user).
    const std::vector<std::string> database { "Cloud.realm", "Cloud.realm-wal", "Cloud.realm-shm" };
    if (::geteuid() != 0) {
        const char* folder = std::getenv("ORVELLA_GROUP_CONTAINER");
        if (!folder)
            GTEST_SKIP() << "needs root to run it as another user";
        ASSERT_TRUE(SharedConstants::makeGroupContainer().has_value());
        return;
    }
    TemporaryDirectory root;
    ASSERT_EQ(::chmod(root.path().c_str(), 0755), 0);
    auto group = std::filesystem::path(root / "group");
    ASSERT_EQ(::mkdir(group.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(group.c_str(), 0755), 0);
    ASSERT_EQ(::chown(group.c_str(), Platform::Testing::nobodyUser, Platform::Testing::nobodyGroup), 0);
    for (const auto& name : database) {
        Platform::Testing::writeFile(group / name, "paths and hashes");
        ASSERT_EQ(::chmod((group / name).c_str(), 0644), 0);
        ASSERT_EQ(::chown((group / name).c_str(), Platform::Testing::nobodyUser, Platform::Testing::nobodyGroup), 0);
    }
    ::setenv("ORVELLA_GROUP_CONTAINER", group.c_str(), 1);
    EXPECT_TRUE(Platform::Testing::passesAsNobody());
    ::unsetenv("ORVELLA_GROUP_CONTAINER");
    EXPECT_EQ(modeOf(group), 0700u);
    for (const auto& name : database)
        EXPECT_EQ(modeOf(group / name), 0600u) << name;
}

TEST(CloudUserDefaultsKeyTests, KeysMapToTheirExactStrings)
{
    // Every key has its stored string; only the exact string (with the old spelling "Conplete") maps back.
    std::vector<std::string_view> expected { "InitialSetupConplete", "LastLoggedInUserName", "CloudFolderURL", "APIEnvironment",
        "EnableDesktopNotifications", "EnableUsageTracking", "EnableSync", "EnableBandwidthThrottling", "ShouldMoveToTrash",
        "AppInstallTracked", "LastAppVersion", "GroupContainerMigrationFixDone" };
    ASSERT_EQ(allCloudUserDefaultsKeys.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(rawValue(allCloudUserDefaultsKeys[index]), expected[index]);
        EXPECT_EQ(cloudUserDefaultsKeyFromRawValue(expected[index]), allCloudUserDefaultsKeys[index]);
    }
    EXPECT_EQ(cloudUserDefaultsKeyFromRawValue("InitialSetupConplete"), CloudUserDefaultsKey::initialSetupComplete);
    EXPECT_FALSE(cloudUserDefaultsKeyFromRawValue("InitialSetupComplete"));
    EXPECT_FALSE(cloudUserDefaultsKeyFromRawValue("enablesync"));
    EXPECT_FALSE(cloudUserDefaultsKeyFromRawValue("EnableSync "));
}

TEST(CloudUserDefaultsKeyTests, AFreshSuiteReadsTheRegisteredDefaults)
{
    // Five registered defaults; a fresh suite reads true for four, false for the other Booleans and nothing for the texts.
    auto defaults = cloudUserDefaultsKeyDefaults();
    EXPECT_EQ(defaults, (Platform::UserDefaults::Dictionary { { "EnableUsageTracking", true }, { "EnableDesktopNotifications", true },
                            { "EnableSync", true }, { "ShouldMoveToTrash", true }, { "AppInstallTracked", false } }));
    TemporaryDirectory folder;
    auto suite = Platform::UserDefaults::open(folder.path()).value();
    suite->registerDefaults(defaults);
    for (auto key : { "EnableSync", "EnableDesktopNotifications", "EnableUsageTracking", "ShouldMoveToTrash" })
        EXPECT_TRUE(suite->boolValue(key)) << key;
    for (auto key : { "AppInstallTracked", "EnableBandwidthThrottling", "InitialSetupConplete" })
        EXPECT_FALSE(suite->boolValue(key)) << key;
    for (auto key : { "LastLoggedInUserName", "CloudFolderURL", "APIEnvironment", "LastAppVersion" })
        EXPECT_FALSE(suite->object(key)) << key;
}
