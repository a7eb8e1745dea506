#include "Sync/Changes/ChangeComputation.hpp"

#include "Sync/Changes/ChangeFactories.hpp"
#include "TestFiles.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace Sync;
using namespace Sync::Testing;

namespace {

constexpr auto takeLocal = MergePolicy::TakeLocal;
constexpr auto takeRemote = MergePolicy::TakeRemote;

std::vector<std::string> descriptions(const std::vector<Change>& changes)
{
    std::vector<std::string> texts;
    for (const auto& change : changes)
        texts.push_back(change.description());
    return texts;
}

} // namespace

TEST(ChangeComputationTests, LocalPhaseDeleteEditAndMove)
{
    // Removed on disk gives a remote delete, edited a reupload, renamed a remote move from stored to disk.
    auto storedGone = makeFile(9, "/gone.txt", 1);
    auto storedEdited = makeFile(10, "/e.txt", 1);
    auto diskEdited = makeFile(10, "/e.txt", 1, "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb");
    auto storedRenamed = makeFile(5, "/A/x", 1);
    auto diskRenamed = makeFile(5, "/A/y", 1);
    auto changes = computeChanges({ diskEdited, diskRenamed }, { storedGone, storedEdited, storedRenamed }, takeLocal);
    EXPECT_EQ(descriptions(changes), (std::vector<std::string> { "Remote delete /gone.txt", "Remote move /A/x to /A/y", "Reupload /e.txt" }));
    EXPECT_EQ(changes[1].fileOperation()->from(), storedRenamed);
    EXPECT_EQ(changes[1].fileOperation()->file(), diskRenamed);
    EXPECT_EQ(changes[2].fileOperation()->file(), diskEdited);
}

TEST(ChangeComputationTests, MissingHashComparesWholeSeconds)
{
    // With no stored hash, 10.2 s and 10.9 s count as equal and the hash is copied; 10.9 s and 11.0 s upload.
    auto stored = makeFile(7, "/a", 1, std::string(FileWrapperItem::missingFileHashKey), 10.2);
    auto disk = makeFile(7, "/a", 1, "cccccccccccccccccccccccccccccccccccccccc", 10.9);
    auto changes = computeChanges({ disk }, { stored }, takeLocal);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].description(), "Update Metadata for: /a");
    EXPECT_EQ(changes[0].fileOperation()->file(), stored);
    EXPECT_EQ(stored->fileHash(), disk->fileHash());

    auto storedLater = makeFile(7, "/a", 1, std::string(FileWrapperItem::missingFileHashKey), 11.0);
    changes = computeChanges({ disk }, { storedLater }, takeLocal);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], remoteUpdate(disk));

    // A stored record of another type is left alone and gives nothing.
    auto server = makeServerFile(*makeFile(7, "/a", 1, std::string(FileWrapperItem::missingFileHashKey), 10.2));
    EXPECT_TRUE(computeChanges({ disk }, { server }, takeLocal).empty());
    EXPECT_EQ(server->fileHash(), FileWrapperItem::missingFileHashKey);
}

TEST(ChangeComputationTests, ShareFlagsOnlyMatterWhenRemoteWins)
{
    // Equal content with other share flags gives nothing locally and a metadata update from the server.
    auto stored = makeFile(7, "/a", 1);
    auto server = makeServerFile(*stored);
    server->m_hasPublicShare = true;
    EXPECT_TRUE(computeChanges({ makeFile(7, "/a", 1) }, { makeServerFile(*server) }, takeLocal).empty());
    auto changes = computeChanges({ stored }, { server }, takeRemote);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], localUpdateMetaData(server));
}

TEST(ChangeComputationTests, RemotePhase)
{
    // New on the server downloads, gone from the server deletes locally, moved moves, changed redownloads.
    auto storedGone = makeFile(9, "/gone", 1);
    auto storedMoved = makeFile(5, "/A/x", 1);
    auto storedChanged = makeFile(6, "/c", 1);
    auto serverNew = makeServerFile(*makeFile(12, "/new", 1));
    auto serverMoved = makeServerFile(*makeFile(5, "/A/y", 1));
    auto serverChanged = makeServerFile(*makeFile(6, "/c", 1, "dddddddddddddddddddddddddddddddddddddddd"));
    auto changes = computeChanges({ storedGone, storedMoved, storedChanged }, { serverNew, serverMoved, serverChanged },
        takeRemote);
    EXPECT_EQ(descriptions(changes),
        (std::vector<std::string> { "Download /new", "Local delete /gone", "Redownload /c", "Local move /A/x to /A/y" }));
    EXPECT_EQ(changes[3], localMove(storedMoved, serverMoved));
}

TEST(ChangeComputationTests, FoldersAreNeverComparedByHash)
{
    // Folders at one path give nothing locally and only share-flag updates from the server.
    auto storedFolder = makeFolder(3, "/F", 1);
    auto diskFolder = makeFolder(3, "/F", 1);
    diskFolder->setFileHash("x");
    EXPECT_TRUE(computeChanges({ diskFolder }, { storedFolder }, takeLocal).empty());
    auto serverFolder = makeServerFile(*storedFolder);
    serverFolder->m_fileHash = "y";
    EXPECT_TRUE(computeChanges({ storedFolder }, { serverFolder }, takeRemote).empty());
    serverFolder->m_hasPrivateShares = true;
    EXPECT_EQ(computeChanges({ storedFolder }, { serverFolder }, takeRemote).size(), 1u);
}

TEST(ChangeComputationTests, DuplicateIdentifiersTakeTheFirst)
{
    // A duplicate id decides with the first file and adds nothing.
    auto first = makeFile(7, "/a", 1);
    auto sameID = makeFile(7, "/b", 1);
    EXPECT_TRUE(computeChanges({ makeFile(7, "/a", 1) }, { first, sameID }, takeRemote).empty());
}

TEST(ChangeComputationTests, IdentitiesAreTakenAsTheyStand)
{
    // The computation binds nothing by path: an item without a remote id at a stored path is new,
    // and the record it does not match is a delete, which frees the place first.
    auto local = makeFile(SyncFileID(), "/a", 1);
    auto stored = makeFile(7, "/a", 1);
    auto changes = computeChanges({ local }, { stored }, takeLocal);
    EXPECT_TRUE(local->syncFileID().isLocal());
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], remoteDelete(stored));
    EXPECT_EQ(changes[1], remoteCreate(local));
}

TEST(ChangeComputationTests, EmptyInputs)
{
    // Empty views give nothing; an empty remote view uploads new items and deletes known ones locally.
    EXPECT_TRUE(computeChanges({}, {}, takeLocal).empty());
    EXPECT_TRUE(computeChanges({}, {}, takeRemote).empty());
    auto known = makeFile(7, "/k", 1);
    auto fresh = makeFile(SyncFileID(), "/f", 1);
    auto orphan = makeFile(SyncFileID(), "/o", SyncFileID());
    auto changes = computeChanges({ known, fresh, orphan }, {}, takeLocal);
    EXPECT_EQ(descriptions(changes), (std::vector<std::string> { "Invalid change", "Upload /f", "Local delete /k" }));
}

TEST(ChangeComputationTests, LocalIdsInTheRemoteViewNeverMatch)
{
    // Local ids on both sides are not paired with each other; they fall into the lists of their side.
    auto local = makeServerFile(*makeFile(SyncFileID(), "/a", 1));
    auto remote = makeServerFile(*makeFile(SyncFileID(), "/b", 1));
    auto changes = computeChanges({ local }, { remote }, takeLocal);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], remoteCreate(local));
    EXPECT_TRUE(changes[1].isInvalid());
}

TEST(ChangeComputationTests, MoveOutOfADeletedFolderComesFirst)
{
    // The move from /A/x to /B/x stands before the delete of folder /A.
    auto storedA = makeFolder(3, "/A", 1);
    auto storedB = makeFolder(4, "/B", 1);
    auto storedX = makeFile(5, "/A/x", 3);
    auto diskB = makeFolder(4, "/B", 1);
    auto diskX = makeFile(5, "/B/x", 4);
    auto changes = computeChanges({ diskB, diskX }, { storedA, storedB, storedX }, takeLocal);
    EXPECT_EQ(descriptions(changes), (std::vector<std::string> { "Remote move /A/x to /B/x", "Remote delete /A/" }));
}

TEST(ChangeComputationTests, DeleteComesBeforeAMoveOntoItsPath)
{
    // A server file moved onto the path of a file deleted on the server: the delete goes first.
    auto storedY = makeFile(9, "/y", 1);
    auto storedX = makeFile(5, "/x", 1);
    auto serverY = makeServerFile(*makeFile(5, "/y", 1));
    auto changes = computeChanges({ storedX, storedY }, { serverY }, takeRemote);
    EXPECT_EQ(descriptions(changes), (std::vector<std::string> { "Local delete /y", "Local move /x to /y" }));
}

TEST(ChangeComputationTests, InitialSyncPutsFoldersBeforeTheirContents)
{
    // A long list of downloads keeps the listing's order, so each folder comes before what it holds.
    std::vector<FileRef> listing;
    for (int folder = 0; folder < 5; ++folder) {
        listing.push_back(makeFolder(100 + folder, "/F" + std::to_string(folder), 1));
        for (int file = 0; file < 6; ++file)
            listing.push_back(makeFile(1000 + folder * 10 + file, "/F" + std::to_string(folder) + "/f" + std::to_string(file), 100 + folder));
    }
    auto changes = computeChanges({}, listing, takeRemote);
    ASSERT_EQ(changes.size(), listing.size());
    for (std::size_t index = 0; index < listing.size(); ++index)
        EXPECT_EQ(changes[index], localCreate(listing[index])) << index;
}

TEST(ChangeComputationTests, LargeListsStillOrderMovesAndDeletes)
{
    // With many changes, a move out of a deleted folder still precedes the folder's delete.
    std::vector<FileRef> stored { makeFolder(3, "/A", 1), makeFile(5, "/A/x", 3) };
    std::vector<FileRef> disk { makeFile(5, "/x", 1) };
    for (int index = 0; index < 30; ++index)
        disk.push_back(makeFile(SyncFileID(), "/new" + std::to_string(index), 1));
    auto changes = computeChanges(disk, stored, takeLocal);
    ASSERT_EQ(changes.size(), 32u);
    EXPECT_EQ(changes[0].description(), "Remote move /A/x to /x");
    EXPECT_EQ(changes[1].description(), "Remote delete /A/");
    EXPECT_EQ(changes[2].description(), "Upload /new0");
}

TEST(ChangeComputationTests, EveryIdentifierValueMatches)
{
    // Whatever number a listing sends as an id, the same number pairs up, and no other does.
    std::vector<FileRef> stored, listing;
    for (std::int64_t id : { std::numeric_limits<std::int64_t>::min(), std::int64_t(-1), std::int64_t(0),
             std::numeric_limits<std::int64_t>::max() }) {
        stored.push_back(makeFile(id, "/f" + std::to_string(id), 1));
        listing.push_back(makeServerFile(*makeFile(id, "/f" + std::to_string(id), 1)));
    }
    EXPECT_TRUE(computeChanges(stored, listing, takeRemote).empty());
    listing.erase(listing.begin());
    auto changes = computeChanges(stored, listing, takeRemote);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], localDelete(stored[0]));
}
