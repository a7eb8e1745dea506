#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;
using Code = ChangeExecutionError::Code;

namespace {

constexpr auto rootID = InMemorySyncServer::rootID;

// The paths of the error events with `code`, in order.
std::vector<std::string> refusedPaths(const TestCloud::RunResult& run, Code code)
{
    std::vector<std::string> paths;
    for (const auto& [event, change] : run.events) {
        const auto* error = event.isError() ? event.error()->as<ChangeExecutionError>() : nullptr;
        if (error && error->code == code) {
            paths.push_back(error->path);
        }
    }
    return paths;
}

} // namespace

TEST(OddListings, EntriesNamingTheCloudFolderAreNeverRecordedDownloadedOrDeleted)
{
    // A folder with an empty name inside /X/ once took /X/'s place in the
    // stored state, and the next run deleted the whole of /X/ on the server.
    TestCloud cloud;
    const auto folderID = cloud.server->addFolder("/X/");
    cloud.server->addFile("/X/a.txt", "a");
    cloud.server->addFile("/top.txt", "top");
    ASSERT_TRUE(cloud.sync().completed);
    const auto serverBefore = cloud.server->paths();

    cloud.server->addListingEntry(listingEntry(900, folderID, "/X//"));
    cloud.server->addListingEntry(listingEntry(901, rootID, "/"));
    cloud.server->addListingEntry(listingEntry(902, rootID, ""));
    cloud.server->addListingEntry(listingEntry(903, rootID, "//"));
    cloud.server->addListingEntry(listingEntry(rootID, 1, "/Root/"));
    cloud.server->addListingEntry(listingEntry(rootID, rootID, "/top.txt", "top"));
    cloud.server->resetCounts();
    for (int run = 0; run < 3; ++run) {
        ASSERT_TRUE(cloud.sync().completed);
    }

    EXPECT_EQ(cloud.server->callCount(Call::deleteItem), 0);
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->paths(), serverBefore);
    EXPECT_EQ(cloud.diskPaths(), serverBefore);
    EXPECT_EQ(cloud.storedPaths(), serverBefore);
    EXPECT_EQ(cloud.fileStore->file(SyncFileID::remote(rootID)), nullptr);
}

TEST(OddListings, ServerTwinsKeepTheFirstAndDeleteNothing)
{
    // A second folder whose name is the first one's in NFD is an error event,
    // never bound to the first one's items; nothing is deleted on either side.
    TestCloud cloud;
    const std::string composed = "/Caf\xC3\xA9/";
    const std::string decomposed = "/Cafe\xCC\x81/";
    cloud.server->addFile(composed + "in.txt", "in");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.server->addListingEntry(listingEntry(960, rootID, decomposed));
    cloud.server->addListingEntry(listingEntry(961, 960, decomposed + "child.txt", "child"));
    cloud.server->addListingEntry(listingEntry(962, rootID, "/Caf\xC3\xA9", "a file named like the folder"));
    cloud.server->resetCounts();

    auto first = cloud.sync();
    auto second = cloud.sync();

    ASSERT_TRUE(first.completed && second.completed);
    EXPECT_EQ(refusedPaths(first, Code::nameTwin), (std::vector<std::string> { decomposed, "/Caf\xC3\xA9" }));
    EXPECT_EQ(refusedPaths(first, Code::missingParent), std::vector<std::string> { decomposed + "child.txt" });
    EXPECT_EQ(cloud.server->callCount(Call::deleteItem), 0);
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_EQ(cloud.readFile(composed + "in.txt"), "in");
    EXPECT_EQ(cloud.storedPaths(), (std::vector<std::string> { composed, composed + "in.txt" }));
}

TEST(OddListings, DiskTwinsUploadOneAndNeverFlipTheServerContent)
{
    // Two files whose names differ only in Unicode form: the NFC one is
    // uploaded, the other is an error event at every run, and the server
    // content stays that of the first.
    TestCloud cloud;
    const std::string composed = "/Caf\xC3\xA9.txt";
    const std::string decomposed = "/Cafe\xCC\x81.txt";
    cloud.writeFile(composed, "composed");
    cloud.writeFile(decomposed, "decomposed");

    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    EXPECT_EQ(refusedPaths(first, Code::nameTwin), std::vector<std::string> { decomposed });
    EXPECT_EQ(cloud.server->contentAt(composed), "composed");
    cloud.server->resetCounts();
    for (int run = 0; run < 3; ++run) {
        auto again = cloud.sync();
        ASSERT_TRUE(again.completed);
        EXPECT_EQ(refusedPaths(again, Code::nameTwin), std::vector<std::string> { decomposed });
    }

    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_EQ(cloud.server->contentAt(composed), "composed");
    EXPECT_EQ(cloud.readFile(composed), "composed");
    EXPECT_EQ(cloud.readFile(decomposed), "decomposed");
}

TEST(OddListings, IgnoredNamesAreIgnoredOnBothSides)
{
    // Server items named as the disk store ignores (a folder with its
    // contents too) are not downloaded, and a stored record of such a name
    // never becomes a server delete.
    TestCloud cloud;
    cloud.server->addFile("/keep.txt", "keep");
    cloud.server->addFile("/thumbs.db", "thumbs");
    cloud.server->addFile("/Sub/.DS_Store", "ds");
    cloud.server->addFile("/Sub/Icon\r", "icon");
    cloud.server->addFile("/F/thumbs.db/inner.txt", "inner");
    cloud.server->addFile("/desktop.ini", "ini");
    // A record written by an earlier version that downloaded it.
    cloud.fileStore->add(*cloud.server->fileAt("/desktop.ini"));
    const auto serverBefore = cloud.server->paths();

    for (int run = 0; run < 3; ++run) {
        ASSERT_TRUE(cloud.sync().completed);
    }

    EXPECT_EQ(cloud.server->callCount(Call::deleteItem), 0);
    EXPECT_EQ(cloud.server->paths(), serverBefore);
    EXPECT_EQ(cloud.diskPaths(), (std::vector<std::string> { "/F/", "/Sub/", "/Sub/Icon\r", "/keep.txt" }));
}

TEST(OddListings, EntriesWithoutTheirParentFolderAreErrorsAndNotDownloaded)
{
    // Downloading them would make folders that the next run uploads as new ones.
    TestCloud cloud;
    cloud.server->addFile("/keep.txt", "keep");
    cloud.server->addListingEntry(listingEntry(970, 777, "/Lost/file.txt", "lost"));
    cloud.server->addListingEntry(listingEntry(971, 778, "/Gone/"));
    cloud.server->addListingEntry(listingEntry(972, 971, "/Gone/inner.txt", "inner"));
    // A parent that is a file cannot hold anything either.
    cloud.server->addListingEntry(listingEntry(973, *cloud.server->idAt("/keep.txt"), "/keep.txt/x.txt", "x"));

    auto first = cloud.sync();
    auto second = cloud.sync();

    ASSERT_TRUE(first.completed && second.completed);
    EXPECT_EQ(refusedPaths(first, Code::missingParent),
        (std::vector<std::string> { "/Lost/file.txt", "/Gone/", "/Gone/inner.txt", "/keep.txt/x.txt" }));
    EXPECT_EQ(cloud.diskPaths(), std::vector<std::string> { "/keep.txt" });
    EXPECT_EQ(cloud.storedPaths(), std::vector<std::string> { "/keep.txt" });
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_EQ(cloud.server->paths(), std::vector<std::string> { "/keep.txt" });
}

TEST(OddListings, OneItemListedAtTwoPathsIsOneLocalItemAndAnErrorForTheSecondEntry)
{
    // Both entries once became local files bound to one id, and the next
    // runs moved one onto the other's name and back.
    TestCloud cloud;
    cloud.server->addFile("/synced.txt", "synced");
    ASSERT_TRUE(cloud.sync().completed);
    const auto synced = *cloud.server->idAt("/synced.txt");
    const auto fresh = cloud.server->addFile("/fresh.txt", "fresh");
    cloud.server->addListingEntry(listingEntry(synced, rootID, "/synced again.txt", "synced"));
    cloud.server->addListingEntry(listingEntry(fresh, rootID, "/fresh again.txt", "fresh"));

    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    EXPECT_EQ(refusedPaths(first, Code::duplicateID),
        (std::vector<std::string> { "/synced again.txt", "/fresh again.txt" }));
    cloud.server->resetCounts();
    for (int run = 0; run < 3; ++run) {
        ASSERT_TRUE(cloud.sync().completed);
    }

    EXPECT_EQ(cloud.diskPaths(), (std::vector<std::string> { "/fresh.txt", "/synced.txt" }));
    EXPECT_EQ(cloud.storedPaths(), (std::vector<std::string> { "/fresh.txt", "/synced.txt" }));
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.readFile("/fresh.txt"), "fresh");
}

TEST(OddListings, APathThatIsNotItsParentsPathAndNameIsAnErrorAndInventsNoFolder)
{
    // "/x/y/z.txt" in the root once made /x/ and /x/y/ on disk, and the next
    // run uploaded them as new folders.
    TestCloud cloud;
    const auto folder = cloud.server->addFolder("/F/");
    cloud.server->addFile("/keep.txt", "keep");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.server->resetCounts();
    cloud.server->addListingEntry(listingEntry(980, rootID, "/x/y/z.txt", "z"));
    cloud.server->addListingEntry(listingEntry(981, folder, "/G/w.txt", "w"));
    cloud.server->addListingEntry(listingEntry(982, rootID, "/Named/"));
    cloud.server->addListingEntry(listingEntry(984, rootID, "/a.txt/"));

    auto first = cloud.sync();
    auto second = cloud.sync();

    ASSERT_TRUE(first.completed && second.completed);
    EXPECT_EQ(refusedPaths(first, Code::misplacedPath), (std::vector<std::string> { "/x/y/z.txt", "/G/w.txt" }));
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_FALSE(cloud.exists("/x"));
    EXPECT_FALSE(cloud.exists("/G"));
    EXPECT_EQ(cloud.diskPaths(), (std::vector<std::string> { "/F/", "/Named/", "/a.txt/", "/keep.txt" }));
}
