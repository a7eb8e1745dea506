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
    // A partial download never becomes a user file, wherever it was left.
    TestCloud cloud;
    cloud.server->addFile("/Docs/a.txt", "a");
    ASSERT_TRUE(cloud.sync().completed);
    const std::string staged(FileSystemFileStore::stagedDownloadPrefix);
    cloud.writeFile("/Docs/" + staged + "4711-1", "half a download");
    cloud.writeFile("/" + staged + "4711-2", "another half");
    cloud.server->resetCounts();

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_EQ(cloud.diskPaths(), (std::vector<std::string> { "/Docs/", "/Docs/a.txt" }));
    expectInStep(cloud);
}

TEST(DiskRaces, APipeSwappedInBeforeAnUploadFailsTheChangeWithoutBlocking)
{
    // The scan saw a file; by the time the upload starts a pipe lies there.
    // Opening it for reading would block the run for good.
    TestCloud cloud;
    cloud.writeFile("/pipe.txt", "data");
    cloud.writeFile("/plain.txt", "plain");
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
    EXPECT_EQ(cloud.server->contentAt("/plain.txt"), "plain");
    EXPECT_FALSE(cloud.server->idAt("/pipe.txt"));
}
