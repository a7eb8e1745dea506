// Deletes and replacements made on disk meet newer work on the server: the
// delete never reaches what it did not know of.

#include "Sync/Changes/ServerDeleteGuard.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;

TEST(LocalDeletes, AFolderDeletedOnDiskKeepsWhatChangedOnTheServerSinceAndBringsItBack)
{
    TestCloud cloud;
    cloud.server->addFile("/D/edited.txt", "old");
    cloud.server->addFile("/D/plain.txt", "plain");
    cloud.server->addFile("/D/Sub/kept-beside.txt", "beside");
    cloud.server->addFile("/D/Gone/deep.txt", "deep");
    cloud.server->addFile("/elsewhere.txt", "elsewhere");
    ASSERT_TRUE(cloud.sync().completed);

    // Another client edits one file and adds another below the folder; this
    // computer deletes the whole folder before it heard of either.
    cloud.server->setContent("/D/edited.txt", "newer work");
    cloud.server->addFile("/D/Sub/new.txt", "new by another client");
    cloud.removeItem("/D");

    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.server->paths(),
        (std::vector<std::string> { "/D/", "/D/Sub/", "/D/Sub/new.txt", "/D/edited.txt", "/elsewhere.txt" }));
    EXPECT_EQ(cloud.server->contentAt("/D/edited.txt"), "newer work");
    EXPECT_EQ(cloud.readFile("/D/edited.txt"), "newer work");
    EXPECT_EQ(cloud.readFile("/D/Sub/new.txt"), "new by another client");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(LocalDeletes, AFileAnotherClientMovedIntoAFolderDeletedOnDiskStaysOnTheServerAndComesBack)
{
    // The moved file is unchanged and this computer has a record of it (at its old place), but the delete of the
    // folder never knew it was inside.
    TestCloud cloud;
    cloud.server->addFile("/D/plain.txt", "plain");
    cloud.server->addFile("/B/moved.txt", "moved by another client");
    ASSERT_TRUE(cloud.sync().completed);

    ASSERT_TRUE(cloud.server->moveItem("/B/moved.txt", "/D/moved.txt"));
    cloud.removeItem("/D");

    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.server->paths(), (std::vector<std::string> { "/B/", "/D/", "/D/moved.txt" }));
    EXPECT_EQ(cloud.server->contentAt("/D/moved.txt"), "moved by another client");
    EXPECT_EQ(cloud.readFile("/D/moved.txt"), "moved by another client");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(LocalDeletes, AFileDeletedOnDiskAfterAnEditOnTheServerComesBackWithTheEdit)
{
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "old");
    cloud.server->addFile("/b.txt", "b");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.server->setContent("/a.txt", "newer work");
    cloud.removeItem("/a.txt");
    cloud.removeItem("/b.txt");

    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.server->paths(), (std::vector<std::string> { "/a.txt" }));
    EXPECT_EQ(cloud.readFile("/a.txt"), "newer work");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(LocalDeletes, AFolderReplacedByAFileOfTheSameNameSettlesWithinTwoRuns)
{
    TestCloud cloud;
    cloud.server->addFile("/D/a.txt", "a");
    cloud.server->addFile("/D/Sub/b.txt", "b");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.removeItem("/D");
    cloud.writeFile("/D", "now a file");

    ASSERT_TRUE(cloud.sync().completed);
    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.server->paths(), (std::vector<std::string> { "/D" }));
    EXPECT_EQ(cloud.server->contentAt("/D"), "now a file");
    EXPECT_EQ(cloud.readFile("/D"), "now a file");
    EXPECT_EQ(cloud.storedPaths(), (std::vector<std::string> { "/D" }));
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(TypeChanges, AnItemThatChangedItsKindUnderOneIdentityIsReplacedNotMoved)
{
    // The server answers a file's id with a folder: the old file goes (it
    // held nothing new) and the folder comes; once nothing happened at all.
    TestCloud cloud;
    cloud.server->addFile("/x", "plain");
    ASSERT_TRUE(cloud.sync().completed);
    const auto id = *cloud.server->idAt("/x");
    cloud.server->removeItem("/x");
    cloud.server->addListingEntry(listingEntry(id, InMemorySyncServer::rootID, "/x/"));

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.diskPaths(), std::vector<std::string> { "/x/" });
    EXPECT_EQ(cloud.storedPaths(), std::vector<std::string> { "/x/" });
}

TEST(TypeChanges, AFolderHoldingUnsyncedWorkIsNeverRemovedToMakeRoomForAFile)
{
    // A file replaced on disk by a folder with new work in it, while the
    // server edits the file: neither side's work goes, in any number of runs.
    TestCloud cloud;
    cloud.server->addFile("/x", "old");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.removeItem("/x");
    cloud.writeFile("/x/mine.txt", "my work");
    cloud.server->setContent("/x", "their work");

    for (int run = 0; run < 3; ++run) {
        ASSERT_TRUE(cloud.sync().completed);
    }

    EXPECT_EQ(cloud.readFile("/x/mine.txt"), "my work");
    EXPECT_EQ(cloud.server->contentAt("/x"), "their work");
}

TEST(TypeChanges, AFileReplacedOnDiskByAFolderOfItsNameGoesUpWithWhatTheFolderHolds)
{
    // The file was the user's to replace; the folder and its file must reach
    // the server, and the name must not end up as a file on either side.
    TestCloud cloud;
    cloud.server->addFile("/x", "plain");
    cloud.server->addFile("/keep.txt", "keep");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.removeItem("/x");
    cloud.writeFile("/x/mine.txt", "my work");

    ASSERT_TRUE(cloud.sync().completed);
    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.server->paths(), (std::vector<std::string> { "/keep.txt", "/x/", "/x/mine.txt" }));
    EXPECT_EQ(cloud.server->contentAt("/x/mine.txt"), "my work");
    EXPECT_EQ(cloud.readFile("/x/mine.txt"), "my work");
    EXPECT_EQ(cloud.diskPaths(), (std::vector<std::string> { "/keep.txt", "/x/", "/x/mine.txt" }));
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(LocalDeletes, AFileWhoseRecordHasNoHashIsTakenForChangedWhenTheServersDateMoved)
{
    // Without a hash the delete can only compare modification dates (to the second): a newer date on the server
    // keeps the file there and forgets its record, the same date lets the delete through.
    auto file = [](std::string hash, std::int64_t seconds) {
        RemoteFile::Fields fields;
        fields.id = 5;
        fields.parentID = InMemorySyncServer::rootID;
        fields.path = "/a.txt";
        fields.fileName = "a.txt";
        fields.type = FileType::file("text/plain");
        fields.fileHash = std::move(hash);
        fields.lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(seconds);
        return std::make_shared<RemoteFile>(std::move(fields));
    };
    for (const std::string missing : { std::string(), std::string(FileWrapperItem::missingFileHashKey) }) {
        const auto record = file(missing, 1'760'000'000);
        const std::vector<FileRef> stored { record };
        const std::vector<Change> deletes { Change::remote(FileOperation::deletion(record)) };

        const auto newer = guardServerDeletes(deletes, std::vector<FileRef> { file(std::string(40, 'e'), 1'760'000'060) }, stored);
        EXPECT_TRUE(newer.changes.empty()) << missing;
        ASSERT_EQ(newer.forgotten.size(), 1u) << missing;
        EXPECT_EQ(newer.forgotten[0]->syncFileID(), SyncFileID::remote(5));

        const auto same = guardServerDeletes(deletes, std::vector<FileRef> { file(std::string(40, 's'), 1'760'000'000) }, stored);
        EXPECT_EQ(same.changes.size(), 1u) << missing;
        EXPECT_TRUE(same.forgotten.empty()) << missing;
    }
}

TEST(LocalDeletes, WhatTheDeleteChecksListingLeavesOutIsNotDeletedOnTheServer)
{
    // Deleted on disk while another client edited them, and then left out of
    // the listing the delete is checked against: a folder, a file, and a
    // folder whose edited file alone is left out. No delete reaches the
    // server before a listing shows what it would delete; the edits come back.
    TestCloud cloud;
    cloud.server->addFile("/F/edited.txt", "v1");
    cloud.server->addFile("/F/plain.txt", "plain");
    cloud.server->addFile("/edited.txt", "v1");
    cloud.server->addFile("/H/edited.txt", "v1");
    cloud.server->addFile("/H/plain.txt", "plain");
    cloud.server->addFile("/elsewhere.txt", "elsewhere");
    ASSERT_TRUE(cloud.sync().completed);
    for (const auto* path : { "/F/edited.txt", "/edited.txt", "/H/edited.txt" })
        cloud.server->setContent(path, "newer work");
    for (const auto* path : { "/F", "/edited.txt", "/H" })
        cloud.removeItem(path);
    for (const auto* path : { "/F/", "/edited.txt", "/H/edited.txt" })
        cloud.server->hideFromListings(path);

    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.server->contentAt("/F/edited.txt"), "newer work");
    EXPECT_EQ(cloud.server->contentAt("/edited.txt"), "newer work");
    EXPECT_EQ(cloud.server->contentAt("/H/edited.txt"), "newer work");
    for (int run = 0; run < 2; ++run)
        ASSERT_TRUE(cloud.sync().completed);
    for (const auto* path : { "/F/edited.txt", "/edited.txt", "/H/edited.txt" }) {
        EXPECT_EQ(cloud.server->contentAt(path), "newer work") << path;
        EXPECT_EQ(cloud.readFile(path), "newer work") << path;
    }
    EXPECT_EQ(cloud.readFile("/elsewhere.txt"), "elsewhere");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(LocalDeletes, DeletesWaitWhileTheServerCannotBeListed)
{
    // The check's listing fails: nothing is deleted on the server and the
    // records stay, so the next run that can list deletes both.
    TestCloud cloud;
    cloud.server->addFile("/gone.txt", "gone");
    cloud.server->addFile("/Gone/inner.txt", "inner");
    cloud.server->addFile("/kept.txt", "kept");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.removeItem("/gone.txt");
    cloud.removeItem("/Gone");
    cloud.server->failNext(Call::remoteFiles);

    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.server->callCount(Call::deleteItem), 0);
    EXPECT_EQ(cloud.server->contentAt("/gone.txt"), "gone");
    EXPECT_EQ(cloud.server->contentAt("/Gone/inner.txt"), "inner");
    EXPECT_EQ(cloud.storedPaths().size(), 4u);

    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.server->paths(), std::vector<std::string> { "/kept.txt" });
    expectInStep(cloud);
    expectIdle(cloud);
}
