#include "Sync/Changes/ChangeFactories.hpp"

#include "TestFiles.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;

TEST(ChangeTests, FactoriesCheckIdentities)
{
    // Each factory answers invalid exactly when its identity rule fails.
    auto newFile = makeFile(SyncFileID(), "/a", 3);
    auto orphan = makeFile(SyncFileID(), "/New/a", SyncFileID());
    auto known = makeFile(7, "/a", 3);
    auto knownInNewFolder = makeFile(7, "/New/a", SyncFileID());
    auto folder = makeFolder(8, "/F", 3);

    EXPECT_TRUE(remoteCreate(known).isInvalid());
    EXPECT_TRUE(remoteCreate(orphan).isInvalid());
    EXPECT_EQ(remoteCreate(newFile).kind(), Change::Kind::Remote);
    EXPECT_TRUE(remoteDelete(newFile).isInvalid());
    EXPECT_FALSE(remoteMove(newFile, known).isInvalid());
    EXPECT_TRUE(remoteMove(known, knownInNewFolder).isInvalid());
    EXPECT_TRUE(remoteUpdate(knownInNewFolder).isInvalid());
    EXPECT_TRUE(localCreate(newFile).isInvalid());
    EXPECT_TRUE(localDelete(orphan).isLocal());
    EXPECT_TRUE(localMove(orphan, newFile).isLocal());
    EXPECT_TRUE(localUpdate(folder).isInvalid());
    EXPECT_TRUE(localUpdateMetaData(folder).isLocal());
    EXPECT_TRUE(localUpdateMetaData(newFile).isInvalid());
}

TEST(ChangeTests, ResultsCarryTheVeryFiles)
{
    // A factory's change holds the object it was given; a move's file is its destination.
    auto from = makeFile(7, "/a", 3);
    auto to = makeFile(7, "/b", 3);
    auto change = remoteMove(from, to);
    EXPECT_EQ(change.fileOperation()->file(), to);
    EXPECT_EQ(change.fileOperation()->from(), from);
    EXPECT_EQ(localDelete(from).fileOperation()->file(), from);
}

TEST(ChangeTests, Equality)
{
    // Invalid equals invalid, sides never mix, and operations compare their files.
    auto file = makeFile(7, "/a", 3);
    auto copy = makeServerFile(*file);
    EXPECT_EQ(Change::invalid(), Change::invalid());
    EXPECT_NE(localDelete(file), remoteDelete(file));
    EXPECT_EQ(localUpdateMetaData(file), localUpdateMetaData(copy));
    EXPECT_NE(localDelete(file), localUpdateMetaData(file));
    EXPECT_NE(localMove(file, makeFile(7, "/b", 3)), localMove(makeFile(7, "/c", 3), makeFile(7, "/b", 3)));
}

TEST(ChangeTests, SidePredicates)
{
    // An invalid change counts as remote, not local, and has no operation.
    auto invalid = Change::invalid();
    EXPECT_TRUE(invalid.isRemote());
    EXPECT_FALSE(invalid.isLocal());
    EXPECT_FALSE(invalid.fileOperation());
    EXPECT_TRUE(localDelete(makeFile(7, "/a", 3)).isLocal());
    EXPECT_FALSE(localDelete(makeFile(7, "/a", 3)).isRemote());
}

TEST(ChangeTests, DescriptionsByteForByte)
{
    // Every change reads as the fixed text followed by its path or paths.
    auto file = makeFile(7, "/Docs/a.txt", 3);
    auto moved = makeFile(7, "/B/a.txt", 3);
    auto from = makeFile(7, "/a.txt", 3);
    EXPECT_EQ(localCreate(file).description(), "Download /Docs/a.txt");
    EXPECT_EQ(localUpdate(file).description(), "Redownload /Docs/a.txt");
    EXPECT_EQ(localDelete(file).description(), "Local delete /Docs/a.txt");
    EXPECT_EQ(localMove(from, moved).description(), "Local move /a.txt to /B/a.txt");
    EXPECT_EQ(localUpdateMetaData(file).description(), "Update Metadata for: /Docs/a.txt");
    EXPECT_EQ(remoteMove(from, moved).description(), "Remote move /a.txt to /B/a.txt");
    EXPECT_EQ(remoteDelete(file).description(), "Remote delete /Docs/a.txt");
    EXPECT_EQ(remoteCreate(makeFile(SyncFileID(), "/n.txt", 3)).description(), "Upload /n.txt");
    EXPECT_EQ(remoteUpdate(file).description(), "Reupload /Docs/a.txt");
    EXPECT_EQ(Change::remote(FileOperation::metaData(file)).description(), "Invalid change");
    EXPECT_EQ(Change::invalid().description(), "Invalid change");
}

TEST(ChangeTests, OperationDescriptions)
{
    // Operations name their file by its description; a move shows only the destination.
    auto file = makeFile(7, "/a", 3);
    EXPECT_EQ(FileOperation::deletion(file).description(), "Delete Sync.FileWrapperItem");
    EXPECT_EQ(FileOperation::metaData(file).description(), "Update Metadata Sync.FileWrapperItem");
    EXPECT_EQ(FileOperation::move(file, makeServerFile(*file)).description(), "Move ServerFile(/a)");
    EXPECT_EQ(FileOperation::create(makeServerFile(*file)).description(), "Create ServerFile(/a)");
}
