#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Sync;
using namespace Sync::Testing;
using Kind = SyncEvent::Kind;

TEST(DiskRaces, DownloadsLeftByAnEndedProcessAreRemovedAndNeverUploaded)
{
    // A partial download never becomes a user file: it lies in the engine's
    // own staging folder, which no scan lists and which is cleared.
    TestCloud cloud;
    cloud.server->addFile("/Docs/a.txt", "a");
    ASSERT_TRUE(cloud.sync().completed);
    const std::string staged(FileSystemFileStore::stagedDownloadPrefix);
    const std::string staging = "/" + std::string(FileSystemFileStore::stagingFolderName);
    cloud.writeFile(staging + "/" + staged + "4711-1", "half a download");
    cloud.writeFile(staging + "/" + staged + "4711-2", "another half");
    cloud.server->resetCounts();

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_FALSE(cloud.exists(staging + "/" + staged + "4711-1"));
    EXPECT_FALSE(cloud.exists(staging + "/" + staged + "4711-2"));
    expectInStep(cloud);
}

TEST(DiskRaces, NamesLikeTheEnginesStagingAreTheUsersAndTheServersLikeAnyOther)
{
    // A server file named like a staged download was once downloaded,
    // removed by the next scan and then deleted on the server; a user's own
    // file of that name was deleted without a word. Neither is the engine's.
    TestCloud cloud;
    const std::string staged(FileSystemFileStore::stagedDownloadPrefix);
    cloud.server->addFile("/Docs/" + staged + "server", "the server's");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/" + staged + "mine", "the user's");
    cloud.writeFile("/Docs/" + staged + "mine too", "also the user's");

    for (int run = 0; run < 3; ++run) {
        auto result = cloud.sync();
        ASSERT_TRUE(result.completed);
        EXPECT_EQ(errorsOf(result), std::vector<std::string>());
    }

    EXPECT_EQ(cloud.server->contentAt("/Docs/" + staged + "server"), "the server's");
    EXPECT_EQ(cloud.server->contentAt("/" + staged + "mine"), "the user's");
    EXPECT_EQ(cloud.server->contentAt("/Docs/" + staged + "mine too"), "also the user's");
    EXPECT_EQ(cloud.readFile("/Docs/" + staged + "server"), "the server's");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(DiskRaces, TheStagingFolderIsNeverSyncedAndNoListingEntryReachesIt)
{
    // A server entry named like the staging folder would put its items where
    // the engine stages; it is left out with everything below it.
    TestCloud cloud;
    const std::string staging = "/" + std::string(FileSystemFileStore::stagingFolderName);
    cloud.server->addFile("/a.txt", "a");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.server->addFile(staging + "/from the server.txt", "server");
    cloud.server->addFile("/Docs" + staging + "/deep.txt", "deep");
    cloud.server->resetCounts();

    ASSERT_TRUE(cloud.sync().completed);
    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_FALSE(cloud.exists(staging + "/from the server.txt"));
    EXPECT_FALSE(cloud.exists("/Docs" + staging + "/deep.txt"));
    EXPECT_TRUE(cloud.server->idAt(staging + "/from the server.txt"));
}

TEST(DiskRaces, APipeSwappedInBeforeAnUploadFailsTheChangeWithoutBlocking)
{
    // The scan saw a file; by the time the upload starts a pipe lies there.
    // Opening it for reading would block the run for good. The only change
    // of its list: an upload after another one may be sent before the one
    // before it starts.
    TestCloud cloud;
    cloud.writeFile("/pipe.txt", "data");
    const auto pipePath = cloud.diskPath("/pipe.txt");
    auto swap = cloud.manager->syncEvents().observeValues([&](const SyncEventPair& pair) {
        if (pair.first.kind() == Kind::Started && pair.second.description() == "Upload /pipe.txt") {
            ::unlink(pipePath.c_str());
            ::mkfifo(pipePath.c_str(), 0600);
        }
    });

    auto run = cloud.sync(std::chrono::seconds(20));
    swap.dispose();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(changesWith(run, Kind::Error), std::vector<std::string> { "Upload /pipe.txt" });
    // The engine refuses it itself: the client is never handed a pipe to open.
    EXPECT_EQ(cloud.server->callCount(InMemorySyncServer::Call::upload), 0);
    EXPECT_FALSE(cloud.server->idAt("/pipe.txt"));
}
