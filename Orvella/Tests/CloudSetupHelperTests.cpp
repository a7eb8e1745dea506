#include "Orvella/SyncSetup/CloudSetupHelper.hpp"

#include "Orvella/SyncSetup/FinderSidebarItem.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

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
