#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;
using Kind = SyncEvent::Kind;
using Call = InMemorySyncServer::Call;

TEST(SyncManager, FirstSyncDownBringsAThreeLevelTreeToDisk)
{
    // A first run fetches every folder and file of a nested server tree and records it.
    TestCloud cloud;
    cloud.server->addFile("/A/B/C/deep.txt", "deep");
    cloud.server->addFile("/A/B/mid.txt", "mid");
    cloud.server->addFile("/A/top.txt", "top");
    cloud.server->addFile("/root.txt", "root");
    cloud.server->addFolder("/Empty/");

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.readFile("/A/B/C/deep.txt"), "deep");
    EXPECT_TRUE(cloud.exists("/Empty"));
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, FirstSyncUpCreatesFoldersBeforeTheirContents)
{
    // A local tree reaches the server level by level: children of new folders
    // are invalid until a repetition knows their parent's remote id.
    TestCloud cloud;
    cloud.writeFile("/L1/L2/L3/deep.txt", "deep");
    cloud.writeFile("/L1/L2/mid.txt", "mid");
    cloud.writeFile("/L1/one.txt", "one");
    cloud.writeFile("/top.txt", "top");
    cloud.makeFolder("/Empty");

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.server->contentAt("/L1/L2/L3/deep.txt"), "deep");
    EXPECT_EQ(cloud.server->callCount(Call::createFolder), 4);
    EXPECT_EQ(cloud.server->callCount(Call::upload), 4);
    // One pass per level of new folders below the root, and a last one with nothing left.
    EXPECT_EQ(cloud.server->callCount(Call::rootFolderID), 4);
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, EditsTravelBothWays)
{
    // A file changed on disk is re-uploaded, a file changed on the server is downloaded over the old one.
    TestCloud cloud;
    cloud.server->addFile("/Docs/local.txt", "v1");
    cloud.server->addFile("/Docs/remote.txt", "v1");
    ASSERT_TRUE(cloud.sync().completed);
    const auto localID = cloud.server->idAt("/Docs/local.txt");

    cloud.writeFile("/Docs/local.txt", "edited on disk");
    cloud.server->setContent("/Docs/remote.txt", "edited on the server");
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(changesWith(run, Kind::Finished),
        (std::vector<std::string> { "Reupload /Docs/local.txt", "Redownload /Docs/remote.txt" }));
    EXPECT_EQ(cloud.server->contentAt("/Docs/local.txt"), "edited on disk");
    EXPECT_EQ(cloud.server->idAt("/Docs/local.txt"), localID);
    EXPECT_EQ(cloud.readFile("/Docs/remote.txt"), "edited on the server");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, RenamesAndMovesTravelBothWaysWithFolderContents)
{
    // Renames and moves keep the server ids; a folder moved on either side takes its contents along.
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "a");
    cloud.server->addFile("/F/x.txt", "x");
    cloud.server->addFolder("/G/");
    cloud.server->addFile("/Dir/inner/deep.txt", "deep");
    cloud.server->addFile("/b.txt", "b");
    cloud.server->addFile("/S/s1.txt", "s1");
    cloud.server->addFile("/S/sub/s2.txt", "s2");
    cloud.server->addFolder("/T/");
    ASSERT_TRUE(cloud.sync().completed);
    const auto idOf = [&](const std::string& path) { return cloud.server->idAt(path); };
    const auto aID = idOf("/a.txt"), xID = idOf("/F/x.txt"), deepID = idOf("/Dir/inner/deep.txt");
    const auto s2ID = idOf("/S/sub/s2.txt");
    cloud.server->resetCounts();

    cloud.moveItem("/a.txt", "/a2.txt");
    cloud.moveItem("/F/x.txt", "/G/x.txt");
    cloud.moveItem("/Dir", "/G/Dir");
    ASSERT_TRUE(cloud.server->moveItem("/b.txt", "/b2.txt"));
    ASSERT_TRUE(cloud.server->moveItem("/S/", "/T/S/"));
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(idOf("/a2.txt"), aID);
    EXPECT_EQ(idOf("/G/x.txt"), xID);
    EXPECT_EQ(idOf("/G/Dir/inner/deep.txt"), deepID);
    EXPECT_EQ(cloud.readFile("/b2.txt"), "b");
    EXPECT_EQ(cloud.readFile("/T/S/sub/s2.txt"), "s2");
    EXPECT_EQ(cloud.server->callCount(Call::upload), 0);
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.fileStore->file(SyncFileID::remote(*s2ID))->path(), "/T/S/sub/s2.txt");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, AServerRenameInsideAFolderTheServerMovedInTheSameRunComesDown)
{
    // The folder's move takes its contents along on disk first; the renames of items deep inside follow from there.
    TestCloud cloud;
    cloud.server->addFile("/S/top.txt", "top");
    cloud.server->addFile("/S/sub/deep.txt", "deep");
    cloud.server->addFolder("/T/");
    ASSERT_TRUE(cloud.sync().completed);

    ASSERT_TRUE(cloud.server->moveItem("/S/", "/T/S/"));
    ASSERT_TRUE(cloud.server->moveItem("/T/S/top.txt", "/T/S/top2.txt"));
    ASSERT_TRUE(cloud.server->moveItem("/T/S/sub/deep.txt", "/T/S/sub/deep2.txt"));
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.readFile("/T/S/top2.txt"), "top");
    EXPECT_EQ(cloud.readFile("/T/S/sub/deep2.txt"), "deep");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, EditsAndDeletesInsideAFolderTheServerMovedComeDownAndNeverGoBackUp)
{
    // The server moved a folder and changed what is inside: the new bytes come down, the deleted file goes, the old bytes never go up.
    TestCloud cloud;
    cloud.server->addFile("/S/edited.txt", "old");
    cloud.server->addFile("/S/sub/gone.txt", "gone");
    cloud.server->addFile("/S/sub/kept.txt", "kept");
    cloud.server->addFile("/S/a/b/c/deep gone.txt", "deep gone");
    cloud.server->addFolder("/T/");
    ASSERT_TRUE(cloud.sync().completed);

    ASSERT_TRUE(cloud.server->moveItem("/S/", "/T/S/"));
    cloud.server->setContent("/T/S/edited.txt", "new on the server");
    ASSERT_TRUE(cloud.server->removeItem("/T/S/sub/gone.txt"));
    ASSERT_TRUE(cloud.server->removeItem("/T/S/a/b/c/deep gone.txt"));
    cloud.server->resetCounts();
    for (int run = 0; run < 2; ++run) {
        auto events = cloud.sync();
        ASSERT_TRUE(events.completed);
        EXPECT_EQ(errorsOf(events), std::vector<std::string>());
    }

    EXPECT_EQ(cloud.readFile("/T/S/edited.txt"), "new on the server");
    EXPECT_EQ(cloud.server->contentAt("/T/S/edited.txt"), "new on the server");
    EXPECT_EQ(cloud.readFile("/T/S/sub/gone.txt"), std::nullopt);
    EXPECT_EQ(cloud.readFile("/T/S/a/b/c/deep gone.txt"), std::nullopt);
    EXPECT_EQ(cloud.readFile("/T/S/sub/kept.txt"), "kept");
    EXPECT_EQ(cloud.server->callCount(Call::upload), 0);
    EXPECT_EQ(cloud.server->callCount(Call::reupload), 0);
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, DeletesTravelBothWaysWithNestedContents)
{
    // Deleting a file or a folder with contents on either side deletes it on the other, records and statuses included.
    TestCloud cloud;
    cloud.server->addFile("/keep.txt", "keep");
    cloud.server->addFile("/local.txt", "l");
    cloud.server->addFile("/LocalDir/a/b.txt", "b");
    cloud.server->addFile("/remote.txt", "r");
    cloud.server->addFile("/RemoteDir/c/d.txt", "d");
    ASSERT_TRUE(cloud.sync().completed);

    cloud.removeItem("/local.txt");
    cloud.removeItem("/LocalDir");
    ASSERT_TRUE(cloud.server->removeItem("/remote.txt"));
    ASSERT_TRUE(cloud.server->removeItem("/RemoteDir/"));
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    // The folder's contents go with it on the server: one delete call each for the file and the folder.
    EXPECT_EQ(cloud.server->callCount(Call::deleteItem), 2);
    EXPECT_EQ(cloud.server->paths(), std::vector<std::string> { "/keep.txt" });
    EXPECT_EQ(cloud.diskPaths(), std::vector<std::string> { "/keep.txt" });
    EXPECT_EQ(cloud.storedPaths(), std::vector<std::string> { "/keep.txt" });
    // A deleted item keeps no status row.
    EXPECT_EQ(cloud.status("/local.txt"), FileSyncStatus::unknown);
    EXPECT_EQ(cloud.status("/RemoteDir/c/d.txt"), FileSyncStatus::unknown);
    expectIdle(cloud);
}

TEST(SyncManager, LocalEditIsKeptWhenTheServerHasANewerVersion)
{
    // When the upload of a local edit fails and the server has a newer version,
    // the remote phase leaves the edit alone; the next run uploads it.
    TestCloud cloud;
    cloud.server->addFile("/both.txt", "v1");
    ASSERT_TRUE(cloud.sync().completed);

    cloud.writeFile("/both.txt", "local edit");
    cloud.server->setContent("/both.txt", "server edit");
    cloud.server->failNext(Call::reupload);
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(changesWith(run, Kind::Error).size(), 2u); // The upload and the download.
    EXPECT_EQ(cloud.readFile("/both.txt"), "local edit");
    EXPECT_EQ(cloud.status("/both.txt"), FileSyncStatus::error);

    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.server->contentAt("/both.txt"), "local edit");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, ServerDeleteKeepsLocalWorkThatIsNotUploaded)
{
    // A server delete leaves a locally edited file, and a folder holding an unsynced file, in place.
    TestCloud cloud;
    cloud.server->addFile("/edited.txt", "v1");
    cloud.server->addFile("/Folder/old.txt", "old");
    ASSERT_TRUE(cloud.sync().completed);

    cloud.writeFile("/edited.txt", "mine");
    cloud.writeFile("/Folder/new.txt", "new");
    cloud.server->failAlways(Call::reupload);
    cloud.server->failAlways(Call::upload);
    ASSERT_TRUE(cloud.server->removeItem("/edited.txt"));
    ASSERT_TRUE(cloud.server->removeItem("/Folder/"));
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(cloud.readFile("/edited.txt"), "mine");
    EXPECT_EQ(cloud.readFile("/Folder/new.txt"), "new");
    EXPECT_FALSE(errorsOf(run).empty());
}

TEST(SyncManager, DecomposedNamesOnDiskMatchPrecomposedNamesOnTheServer)
{
    // NFD names on disk and NFC names on the server are the same items: nothing is re-synced.
    TestCloud cloud;
    const std::string composed = "/Caf\xC3\xA9/Cr\xC3\xA8me.txt";
    const std::string decomposedFolder = "/Cafe\xCC\x81";
    const std::string decomposedFile = decomposedFolder + "/Cre\xCC\x80me.txt";
    cloud.server->addFile(composed, "cream");
    ASSERT_TRUE(cloud.sync().completed);
    ASSERT_EQ(cloud.readFile(composed), "cream");

    cloud.moveItem("/Caf\xC3\xA9", decomposedFolder);
    cloud.moveItem(decomposedFolder + "/Cr\xC3\xA8me.txt", decomposedFile);
    cloud.writeFile(decomposedFolder + "/Nou\xCC\x88.txt", "new"); // A new item named in NFD.
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(changesWith(run, Kind::Finished), std::vector<std::string> { "Upload /Cafe\xCC\x81/Nou\xCC\x88.txt" });
    EXPECT_EQ(cloud.server->contentAt("/Caf\xC3\xA9/No\xC3\xBC.txt"), "new");
    EXPECT_EQ(cloud.readFile(decomposedFile), "cream");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, EveryDiskChangeOfARunIsRegisteredAsTheEnginesOwn)
{
    // The binding written after a new folder reached the server changes only
    // the folder's attributes; were that not registered, the folder watcher
    // would start another run for it.
    TestCloud cloud;
    cloud.makeFolder("/Made here");
    cloud.writeFile("/up.txt", "up");

    ASSERT_TRUE(cloud.sync().completed);

    const auto now = Platform::OwnChangeRegistry::Clock::now();
    EXPECT_TRUE(cloud.ownChanges->contains(cloud.diskPath("/Made here"), now));
    EXPECT_TRUE(cloud.ownChanges->contains(cloud.diskPath("/up.txt"), now));
}

TEST(SyncManager, TheRunAfterADownloadReadsNoFileAgain)
{
    // The engine knows the content of what it placed itself.
    TestCloud cloud;
    for (int index = 0; index < 20; ++index) {
        cloud.server->addFile("/Down/" + std::to_string(index) + ".txt", "content " + std::to_string(index));
    }
    ASSERT_TRUE(cloud.sync().completed);
    cloud.server->setContent("/Down/7.txt", "changed on the server");
    ASSERT_TRUE(cloud.sync().completed);
    const auto readsBefore = cloud.hashCache->readCount();

    expectIdle(cloud);

    EXPECT_EQ(cloud.hashCache->readCount(), readsBefore);
}

TEST(SyncManager, FailedUploadIsMarkedAndRetriedByTheNextRun)
{
    // A failed upload is an error event and an `error` status; the next run uploads the file.
    TestCloud cloud;
    cloud.writeFile("/report.txt", "data");
    cloud.server->failNext(Call::upload);

    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    EXPECT_EQ(changesWith(first, Kind::Error), std::vector<std::string> { "Upload /report.txt" });
    EXPECT_EQ(cloud.status("/report.txt"), FileSyncStatus::error);
    EXPECT_EQ(cloud.server->paths(), std::vector<std::string>());

    auto second = cloud.sync();
    ASSERT_TRUE(second.completed);
    EXPECT_EQ(changesWith(second, Kind::Finished), std::vector<std::string> { "Upload /report.txt" });
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, ListingFailureGoesToCheckErrorsAndTheRunEnds)
{
    // A failed remote listing is reported once on checkErrors, and the run completes without events.
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "a");
    std::vector<std::string> checkErrors;
    std::mutex mutex;
    cloud.manager->checkErrors().observeValues([&](const Reactive::AnyError& error) {
        std::lock_guard lock(mutex);
        checkErrors.push_back(error.description());
    });
    cloud.server->failNext(Call::remoteFiles);

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_TRUE(run.events.empty());
    std::lock_guard lock(mutex);
    ASSERT_EQ(checkErrors.size(), 1u);
    EXPECT_NE(checkErrors[0].find("injected failure"), std::string::npos);
    EXPECT_FALSE(cloud.exists("/a.txt"));
}

TEST(SyncManager, RootFolderFailureSkipsOnlyTheLocalPhase)
{
    // Without a root folder id the local phase does nothing, silently; the remote phase still runs.
    TestCloud cloud;
    cloud.server->addFile("/down.txt", "down");
    cloud.writeFile("/up.txt", "up");
    cloud.server->failNext(Call::rootFolderID);

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(changesWith(run, Kind::Finished), std::vector<std::string> { "Download /down.txt" });
    EXPECT_FALSE(cloud.server->idAt("/up.txt"));
}

TEST(SyncManager, AnEditInsideAFolderRenamedInTheSameRunSettlesInOneRun)
{
    // The re-upload's answer still names the folder's old path (its rename comes later in the run); the
    // edited file is dated where it lies, so the run ends without an error and the next uploads nothing.
    TestCloud cloud;
    cloud.server->addFile("/D/sub/f.txt", "v1");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/D/sub/f.txt", "v2", Platform::Date::fromWholeSecondsSince1970(1'800'000'000));
    cloud.moveItem("/D/sub", "/D/renamed");

    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    EXPECT_EQ(errorsOf(first), std::vector<std::string>());
    EXPECT_EQ(cloud.server->contentAt("/D/renamed/f.txt"), "v2");
    cloud.server->resetCounts();
    auto second = cloud.sync();
    ASSERT_TRUE(second.completed);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_EQ(cloud.readFile("/D/renamed/f.txt"), "v2");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncManager, AMoveWithANewNameSettlesInTheFollowingRun)
{
    // The service's move keeps the old name, so a local move with a rename is
    // stored under the old name first; the next run renames it, and nothing is lost.
    TestCloud cloud;
    cloud.server->addFile("/A/old.txt", "content");
    cloud.server->addFolder("/B/");
    ASSERT_TRUE(cloud.sync().completed);
    const auto id = cloud.server->idAt("/A/old.txt");
    cloud.moveItem("/A/old.txt", "/B/new.txt");

    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    EXPECT_EQ(errorsOf(first), std::vector<std::string>());
    EXPECT_EQ(cloud.server->idAt("/B/old.txt"), id);
    auto second = cloud.sync();
    ASSERT_TRUE(second.completed);

    EXPECT_EQ(cloud.server->idAt("/B/new.txt"), id);
    EXPECT_EQ(cloud.readFile("/B/new.txt"), "content");
    expectInStep(cloud);
    expectIdle(cloud);
}
