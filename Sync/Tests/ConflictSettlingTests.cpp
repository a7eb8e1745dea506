#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;
using Kind = SyncEvent::Kind;

TEST(ConflictSettling, LocalWorkInItemsTheServerDeletedIsUploadedAsNewInTheNextRun)
{
    // An edited file and a new file inside a folder, both deleted on the
    // server meanwhile: the disk keeps them, and the next run uploads them as
    // new items instead of failing at every run.
    TestCloud cloud;
    cloud.server->addFile("/edited.txt", "v1");
    cloud.server->addFile("/Folder/old.txt", "old");
    ASSERT_TRUE(cloud.sync().completed);
    const auto editedID = cloud.server->idAt("/edited.txt");

    cloud.writeFile("/edited.txt", "mine");
    cloud.writeFile("/Folder/new.txt", "new");
    ASSERT_TRUE(cloud.server->removeItem("/edited.txt"));
    ASSERT_TRUE(cloud.server->removeItem("/Folder/"));
    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    EXPECT_EQ(cloud.readFile("/edited.txt"), "mine");
    EXPECT_EQ(cloud.readFile("/Folder/new.txt"), "new");

    auto second = cloud.sync();
    ASSERT_TRUE(second.completed);
    EXPECT_EQ(errorsOf(second), std::vector<std::string>());
    EXPECT_EQ(cloud.server->contentAt("/edited.txt"), "mine");
    EXPECT_NE(cloud.server->idAt("/edited.txt"), editedID);
    EXPECT_EQ(cloud.server->contentAt("/Folder/new.txt"), "new");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(ConflictSettling, AFileInPlaceWithTheServerContentIsAdoptedWithoutATransfer)
{
    // The process ended after placing a download and before recording it:
    // the file is taken as it is, not downloaded again or failed at every run.
    TestCloud cloud;
    cloud.server->addFile("/Docs/placed.txt", "placed");
    cloud.server->addFile("/other.txt", "other");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.fileStore->setFile(SyncFileID::remote(*cloud.server->idAt("/Docs/placed.txt")), nullptr);
    cloud.referenceMapping->removeReference("/Docs/placed.txt", cloud.cloudFolderURL());
    cloud.server->resetCounts();

    ASSERT_TRUE(cloud.sync().completed);
    // Bound in place with the server's content: the next scan takes its hash without reading it.
    const auto readsBefore = cloud.hashCache->readCount();
    auto second = cloud.sync();

    ASSERT_TRUE(second.completed);
    EXPECT_EQ(cloud.hashCache->readCount(), readsBefore);
    EXPECT_EQ(errorsOf(second), std::vector<std::string>());
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->paths(), (std::vector<std::string> { "/Docs/", "/Docs/placed.txt", "/other.txt" }));
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(ConflictSettling, AMovedFolderTakesItsChildrenAlongWithOneRequest)
{
    // The children of a moved folder keep their names and parent: the
    // folder's own rename carries them, with no request of their own.
    TestCloud cloud;
    for (const auto* path : { "/A/1.txt", "/A/2.txt", "/A/3.txt", "/A/Sub/4.txt" }) {
        cloud.server->addFile(path, path);
    }
    ASSERT_TRUE(cloud.sync().completed);
    const auto deepID = cloud.server->idAt("/A/Sub/4.txt");
    cloud.server->resetCounts();

    cloud.moveItem("/A", "/B");
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.server->mutationCount(), 1);
    EXPECT_EQ(cloud.server->callCount(Call::rename), 1);
    EXPECT_EQ(cloud.server->idAt("/B/Sub/4.txt"), deepID);
    EXPECT_EQ(cloud.fileStore->file(SyncFileID::remote(*deepID))->path(), "/B/Sub/4.txt");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(ConflictSettling, AFileWrittenIntoAFolderRenamedOnDiskGoesUpAfterTheRenameInOneRun)
{
    // Renamed and filled between two runs: sent before the rename, the new
    // file would land in the folder under its old name on the server, and
    // the run would then fail to move it on disk to a folder that is gone.
    TestCloud cloud;
    cloud.server->addFile("/A/old.txt", "old");
    ASSERT_TRUE(cloud.sync().completed);
    const auto folderID = cloud.server->idAt("/A/");

    cloud.moveItem("/A", "/B");
    cloud.writeFile("/B/new.txt", "new");
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.server->idAt("/B/"), folderID);
    EXPECT_EQ(cloud.server->contentAt("/B/new.txt"), "new");
    EXPECT_EQ(cloud.server->contentAt("/B/old.txt"), "old");
    EXPECT_FALSE(cloud.server->idAt("/A/new.txt"));
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(ConflictSettling, AFolderOnBothSidesAtTheFirstSyncSettlesInOneRun)
{
    // The local phase cannot create the folder (the server has it), the
    // remote phase takes it in, and the same run then uploads what is in it.
    TestCloud cloud;
    cloud.server->addFile("/Shared/from server.txt", "server");
    cloud.writeFile("/Shared/from disk.txt", "disk");

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(cloud.server->contentAt("/Shared/from disk.txt"), "disk");
    EXPECT_EQ(cloud.readFile("/Shared/from server.txt"), "server");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(ConflictSettling, ARenamedFileAndANewOneUnderItsOldNameBothReachTheServer)
{
    // Saving by renaming the old version away and writing a new file under
    // the old name: the rename keeps the server's item and its content, the
    // new file goes up as a new item, and neither replaces the other.
    TestCloud cloud;
    cloud.server->addFile("/Docs/report.txt", "first draft");
    ASSERT_TRUE(cloud.sync().completed);
    const auto reportID = cloud.server->idAt("/Docs/report.txt");

    cloud.moveItem("/Docs/report.txt", "/Docs/report.txt~");
    cloud.writeFile("/Docs/report.txt", "second draft");
    ASSERT_TRUE(cloud.sync().completed);
    auto second = cloud.sync();

    ASSERT_TRUE(second.completed);
    EXPECT_EQ(errorsOf(second), std::vector<std::string>());
    EXPECT_EQ(cloud.server->idAt("/Docs/report.txt~"), reportID);
    EXPECT_EQ(cloud.server->contentAt("/Docs/report.txt~"), "first draft");
    EXPECT_EQ(cloud.server->contentAt("/Docs/report.txt"), "second draft");
    expectInStep(cloud);
    expectIdle(cloud);
}
