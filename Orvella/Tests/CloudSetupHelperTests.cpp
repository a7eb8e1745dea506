#include "Orvella/SyncSetup/CloudSetupHelper.hpp"

#include "Orvella/SyncSetup/FinderSidebarItem.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Orvella;
using Platform::Testing::readFile;
using Platform::Testing::TemporaryDirectory;
using Platform::Testing::writeFile;

namespace {

// A file store that only counts how often it was cleaned.
class CountingFileStore final : public Sync::FileStore {
public:
    int cleans = 0;
    Sync::StoreResult<> clean() override { ++cleans; return {}; }
    Sync::StoreResult<> add(const Sync::File&) override { return {}; }
    Sync::FileRef file(const Sync::SyncFileID&) const override { return nullptr; }
    Sync::StoreResult<> setFile(const Sync::SyncFileID&, const Sync::FileRef&) override { return {}; }
    Sync::FileRef fileAtPath(const std::string&) const override { return nullptr; }
    Sync::StoreResult<std::vector<Sync::FileRef>> loadFiles() const override { return std::vector<Sync::FileRef>{}; }
    Sync::StoreResult<> modifyOrCreate(const Sync::SyncFileID&, const ModifyOrCreate&) override { return {}; }
    Reactive::SignalProducer<std::vector<Sync::FileRef>, Reactive::NoError> filesProducer() const override
    {
        return Reactive::SignalProducer<std::vector<Sync::FileRef>, Reactive::NoError>::empty();
    }
};

// A temporary HOME whose configuration (and so the bookmarks) lies inside it.
struct Home {
    TemporaryDirectory folder;
    std::string bookmarks = folder / ".config/gtk-3.0/bookmarks";
    Home()
    {
        std::filesystem::create_directories(folder / ".config/gtk-3.0");
        ::setenv("HOME", folder.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder / ".config").c_str(), 1);
    }
};

struct Helper {
    std::shared_ptr<CountingFileStore> store = std::make_shared<CountingFileStore>();
    std::shared_ptr<Reactive::MutableProperty<bool>> syncEnabled = std::make_shared<Reactive::MutableProperty<bool>>(true);
    CloudSetupHelper helper;

    explicit Helper(const std::string& folder)
        : helper(Reactive::Property<Platform::URL>::constant(Platform::URL::fileURL(folder, Platform::URL::IsDirectory::Yes)), syncEnabled, store,
            "brisanto cloud")
    {
    }
};

} // namespace

TEST(CloudSetupHelperTests, AReachableFolderChangesNothing)
{
    // The folder is there: no cleaning, no bookmark, the run goes on.
    Home home;
    auto cloud = home.folder / "brisanto cloud";
    std::filesystem::create_directory(cloud);
    Helper helper(cloud);
    EXPECT_TRUE(helper.helper.prepareCloudFolder());
    EXPECT_EQ(helper.store->cleans, 0);
    EXPECT_FALSE(std::filesystem::exists(home.bookmarks));
}

TEST(CloudSetupHelperTests, AnUnreachableFolderClearsTheStateAndLetsTheRunGoOn)
{
    // A dangling symbolic link is there by lstat but unreachable by stat: the state is cleared, nothing is made, the link stays.
    Home home;
    auto cloud = home.folder / "brisanto cloud";
    std::filesystem::create_symlink(home.folder / "gone", cloud);
    Helper helper(cloud);
    EXPECT_TRUE(helper.helper.prepareCloudFolder());
    EXPECT_EQ(helper.store->cleans, 1);
    EXPECT_TRUE(std::filesystem::is_symlink(cloud));
    EXPECT_FALSE(std::filesystem::exists(home.folder / "gone"));
}

TEST(CloudSetupHelperTests, AMissingFolderIsMadeAgainWithABookmarkAfterTheOthersAndEndsTheRun)
{
    // Missing with its parent: made, the state cleared, logged, a bookmark appended after the existing ones (kept byte for byte), and folderWasMissing.
    Home home;
    writeFile(home.bookmarks, "file:///home/a/Musik Musik\nsftp://server/x\n");
    auto cloud = home.folder / "deep/brisanto cloud";
    Helper helper(cloud);
    Platform::LogCapture log;
    auto result = helper.helper.prepareCloudFolder();
    ASSERT_FALSE(result);
    auto* error = result.error().as<CloudSetupHelper::SetupError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, CloudSetupHelper::SetupError::Kind::folderWasMissing);
    EXPECT_TRUE(std::filesystem::is_directory(cloud));
    EXPECT_EQ(helper.store->cleans, 1);
    EXPECT_TRUE(log.contains("cloud folder doesn't exist at path: " + cloud));
    auto expectedLine = Platform::URL::fileURL(cloud).absoluteString() + " brisanto cloud";
    EXPECT_EQ(readFile(home.bookmarks), "file:///home/a/Musik Musik\nsftp://server/x\n" + expectedLine + "\n");

    // The next run finds the folder.
    EXPECT_TRUE(helper.helper.prepareCloudFolder());
    EXPECT_EQ(helper.store->cleans, 1);
}

TEST(CloudSetupHelperTests, AFolderThatCannotBeMadeIsTheRunsError)
{
    // A file where a parent folder should be: the creation error ends the run, and no bookmark is added.
    Home home;
    writeFile(home.folder / "file", "x");
    Helper helper(home.folder / "file/brisanto cloud");
    auto result = helper.helper.prepareCloudFolder();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().as<CloudSetupHelper::SetupError>()->kind, CloudSetupHelper::SetupError::Kind::creationFailed);
    EXPECT_FALSE(std::filesystem::exists(home.bookmarks));
}

TEST(CloudSetupHelperTests, MovingTheCloudFolderRemovesTheOldBookmarkOnly)
{
    // The old folder's entry is found by its resolved URL (with or without "/") and removed; every other line stays byte for byte.
    Home home;
    auto old = home.folder / "alt cloud";
    writeFile(home.bookmarks, "file:///x  Doppel  \n");
    ASSERT_TRUE(FinderSidebarItem::adding(Platform::URL::fileURL(old, Platform::URL::IsDirectory::Yes)));
    ASSERT_TRUE(FinderSidebarItem::adding(Platform::URL::fileURL(home.folder / "neu"), "Neu"));
    auto entry = FinderSidebarItem::existing(Platform::URL::fileURL(old));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->resolvedURL()->path(), old + "/");
    EXPECT_EQ(FinderSidebarItem::allItems().size(), 3u);
    ASSERT_TRUE(entry->remove());
    EXPECT_EQ(readFile(home.bookmarks), "file:///x  Doppel  \n" + Platform::URL::fileURL(home.folder / "neu").absoluteString() + " Neu\n");
    EXPECT_FALSE(FinderSidebarItem::existing(Platform::URL::fileURL(old)));
}

namespace {

// Runs the test under way again in a new process of this program as the
// unprivileged user "nobody" (root reads every folder whatever its mode),
// and answers whether it passed there.
bool passesAsNobody()
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    const auto program = std::filesystem::read_symlink("/proc/self/exe").string();
    pid_t child = ::fork();
    if (child == 0) {
        ::setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
        ::execlp("setpriv", "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", program.c_str(),
            filter.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(CloudSetupHelperTests, AFolderThatCannotBeListedOrEnteredIsNoReachableFolderAndKeepsTheState)
{
    // Mode 000 (and a folder behind one that cannot be entered) once counted
    // as reachable, and the run that followed scanned it as empty.
    if (::geteuid() == 0) {
        EXPECT_TRUE(passesAsNobody());
        return;
    }
    TemporaryDirectory home;
    auto cloud = home / "brisanto cloud";
    std::filesystem::create_directories(cloud + "/inner");
    for (const auto& [folder, locked] : { std::pair(cloud, cloud), std::pair(cloud + "/inner", cloud) }) {
        SCOPED_TRACE(folder);
        ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
        Helper helper(folder);
        auto result = helper.helper.prepareCloudFolder();
        ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
        ASSERT_FALSE(result);
        const auto* error = result.error().as<CloudSetupHelper::SetupError>();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind, CloudSetupHelper::SetupError::Kind::unreadable);
        EXPECT_TRUE(error->description().starts_with("Der Cloud-Ordner " + folder + " kann nicht gelesen werden"))
            << error->description();
        EXPECT_EQ(helper.store->cleans, 0);
        EXPECT_TRUE(std::filesystem::is_directory(folder));
    }
    ASSERT_EQ(::chmod(cloud.c_str(), 0500), 0);
    EXPECT_TRUE(Helper(cloud).helper.prepareCloudFolder());
    ASSERT_EQ(::chmod(cloud.c_str(), 0755), 0);
}
