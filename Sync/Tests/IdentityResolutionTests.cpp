#include "Sync/Changes/IdentityResolution.hpp"

#include "Sync/Changes/ChangeComputation.hpp"
#include "Sync/Changes/ChangeFactories.hpp"
#include "TestFiles.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace Sync;
using namespace Sync::Testing;

namespace {

constexpr std::int64_t rootID = 1;

using Items = std::vector<std::shared_ptr<FileWrapperItem>>;

// Bindings as the reference mapping keeps them, counting every question.
struct Bindings {
    std::map<std::string, std::int64_t, std::less<>> ids;
    std::map<std::string, int, std::less<>> asked;

    BindingLookup lookup()
    {
        return [this](std::string_view path, const Platform::ChangeStamp*) -> std::optional<std::int64_t> {
            ++asked[std::string(path)];
            auto found = ids.find(path);
            return found == ids.end() ? std::nullopt : std::optional(found->second);
        };
    }
};

ResolvedViews resolve(const Items& scanned, const std::vector<FileRef>& stored, const BindingLookup& bound = {})
{
    return resolveIdentities(scanned, stored, rootID, bound);
}

std::shared_ptr<FileWrapperItem> scannedFile(std::string path)
{
    return makeFile(SyncFileID(), std::move(path), SyncFileID());
}

std::shared_ptr<FileWrapperItem> scannedFolder(std::string path)
{
    return makeFolder(SyncFileID(), std::move(path), SyncFileID());
}

} // namespace

TEST(IdentityResolutionTests, UnchangedDiskItemAdoptsStoredIdentity)
{
    // A scanned item takes the stored id and parent; equal content then gives nothing, also with another name or etag.
    auto disk = scannedFile("/Docs/a.txt");
    auto stored = makeFile(7, "/Docs/a.txt", 3);
    stored->setFileName("other name");
    stored->setSyncEtag("e1");
    auto views = resolve({ disk }, { stored });
    EXPECT_EQ(disk->syncFileID(), SyncFileID(7));
    EXPECT_EQ(disk->syncParentID(), SyncFileID(3));
    EXPECT_TRUE(computeChanges(views.diskFiles, views.storedFiles, MergePolicy::TakeLocal).empty());
}

TEST(IdentityResolutionTests, NewFileFindsItsStoredFolder)
{
    // A new file in a stored subfolder gets the folder's id as parent and uploads.
    auto folder = makeFolder(3, "/Docs", 1);
    auto disk = scannedFile("/Docs/new.txt");
    auto views = resolve({ disk }, { folder });
    EXPECT_TRUE(disk->syncFileID().isLocal());
    EXPECT_EQ(disk->syncParentID(), SyncFileID(3));
    auto changes = computeChanges(views.diskFiles, views.storedFiles, MergePolicy::TakeLocal);
    // Unrelated changes come out in the reverse of their assembled order.
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], remoteCreate(disk));
    EXPECT_EQ(changes[1], remoteDelete(folder));
}

TEST(IdentityResolutionTests, NewFolderTreeUploadsFromTheTop)
{
    // Inside a folder the server does not know yet the upload is invalid; the folder itself uploads.
    auto root = makeFolder(4, "/Root", 1);
    auto diskRoot = scannedFolder("/Root");
    auto newFolder = scannedFolder("/Root/New");
    auto inside = scannedFile("/Root/New/x.txt");
    auto views = resolve({ diskRoot, newFolder, inside }, { root });
    EXPECT_EQ(diskRoot->syncFileID(), SyncFileID(4));
    EXPECT_EQ(diskRoot->syncParentID(), SyncFileID(rootID));
    EXPECT_EQ(newFolder->syncParentID(), SyncFileID(4));
    EXPECT_TRUE(inside->syncParentID().isLocal());
    auto changes = computeChanges(views.diskFiles, views.storedFiles, MergePolicy::TakeLocal);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(changes[0].isInvalid());
    EXPECT_EQ(changes[1], remoteCreate(newFolder));
}

TEST(IdentityResolutionTests, OneRuleForTheTrailingSlash)
{
    // A folder record is found with or without its "/", and in either normalisation form.
    auto bare = makeServerFile(*makeFolder(3, "/Docs", 1));
    bare->m_path = "/Docs";
    auto folder = scannedFolder("/Docs");
    auto inside = scannedFile("/Docs/new.txt");
    (void)resolve({ folder, inside }, { bare });
    EXPECT_EQ(folder->syncFileID(), SyncFileID(3));
    EXPECT_EQ(inside->syncParentID(), SyncFileID(3));

    auto decomposed = scannedFile("/Cafe\xcc\x81.txt");
    auto stored = makeFile(7, "/Caf\xc3\xa9.txt", 1);
    decomposed->setFileName(stored->fileName());
    auto views = resolve({ decomposed }, { stored });
    EXPECT_EQ(decomposed->syncFileID(), SyncFileID(7));
    EXPECT_TRUE(computeChanges(views.diskFiles, views.storedFiles, MergePolicy::TakeLocal).empty());
}

TEST(IdentityResolutionTests, AFolderNeverTakesAFilesIdentity)
{
    // A folder where a file was stored (and the other way round) is new; a file is nobody's parent.
    auto storedFile = makeFile(5, "/Docs", 1);
    auto storedFolder = makeFolder(6, "/Notes", 1);
    auto folder = scannedFolder("/Docs");
    auto inside = scannedFile("/Docs/x.txt");
    auto file = scannedFile("/Notes");
    (void)resolve({ folder, inside, file }, { storedFile, storedFolder });
    EXPECT_TRUE(folder->syncFileID().isLocal());
    EXPECT_TRUE(inside->syncParentID().isLocal());
    EXPECT_TRUE(file->syncFileID().isLocal());
}

TEST(IdentityResolutionTests, BindingsComeBeforePaths)
{
    // A renamed item keeps its id through its binding; its folder's binding gives the parent;
    // each path is asked once, and a binding to an id the store does not know binds nothing.
    Bindings bindings;
    bindings.ids = { { "/A", 3 }, { "/A/renamed", 5 }, { "/A/stale", 99 } };
    auto storedFolder = makeFolder(3, "/A", 1);
    auto storedFile = makeFile(5, "/A/old", 3);
    auto storedOther = makeFile(8, "/A/stale", 3);
    auto folder = scannedFolder("/A");
    auto renamed = scannedFile("/A/renamed");
    auto stale = scannedFile("/A/stale");
    auto views = resolve({ folder, renamed, stale }, { storedFolder, storedFile, storedOther }, bindings.lookup());
    EXPECT_EQ(folder->syncFileID(), SyncFileID(3));
    EXPECT_EQ(folder->syncParentID(), SyncFileID(rootID));
    EXPECT_EQ(renamed->syncFileID(), SyncFileID(5));
    EXPECT_EQ(renamed->syncParentID(), SyncFileID(3));
    // Unknown binding: the stored record at the path is taken instead.
    EXPECT_EQ(stale->syncFileID(), SyncFileID(8));
    for (const auto& [path, count] : bindings.asked)
        EXPECT_EQ(count, 1) << path;
    EXPECT_EQ(bindings.asked.size(), 3u);
    auto changes = computeChanges(views.diskFiles, views.storedFiles, MergePolicy::TakeLocal);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], remoteMove(storedFile, renamed));
}

TEST(IdentityResolutionTests, BindingsOfDecomposedNamesAreAskedOnce)
{
    // A folder named in NFD on disk is asked for once, as the disk spells it, and serves its children.
    Bindings bindings;
    bindings.ids = { { "/Cafe\xcc\x81", 3 }, { "/Cafe\xcc\x81/a.txt", 5 } };
    auto folder = scannedFolder("/Cafe\xcc\x81");
    auto first = scannedFile("/Cafe\xcc\x81/a.txt");
    auto second = scannedFile("/Cafe\xcc\x81/b.txt");
    (void)resolve({ folder, first, second },
        { makeFolder(3, "/Caf\xc3\xa9", 1), makeFile(5, "/Caf\xc3\xa9/a.txt", 3) }, bindings.lookup());
    EXPECT_EQ(folder->syncFileID(), SyncFileID(3));
    EXPECT_EQ(first->syncFileID(), SyncFileID(5));
    EXPECT_EQ(second->syncParentID(), SyncFileID(3));
    EXPECT_EQ(bindings.asked["/Cafe\xcc\x81"], 1);
    EXPECT_EQ(bindings.asked.size(), 3u);
}

TEST(IdentityResolutionTests, OnlyRecordsTheComputationSeesAreTaken)
{
    // Of two records at one path the one bound to a kept item stays, and the unbound item at that path
    // takes neither; a twin takes no identity by path; a record naming the cloud folder gives nobody its id.
    Bindings bindings;
    bindings.ids = { { "/moved", 7 } };
    auto first = makeFile(7, "/a", 1);
    auto second = makeFile(8, "/a", 1);
    auto nameless = makeFolder(9, "/x", 1);
    nameless->setFileName("");
    auto atA = scannedFile("/a");
    auto moved = scannedFile("/moved");
    auto nfc = scannedFile("/Caf\xc3\xa9");
    auto nfd = scannedFile("/Cafe\xcc\x81");
    auto atX = scannedFolder("/x");
    auto storedCafe = makeFile(10, "/Caf\xc3\xa9", 1);
    auto views = resolve({ atA, moved, nfd, nfc, atX }, { first, second, nameless, storedCafe }, bindings.lookup());
    EXPECT_EQ(moved->syncFileID(), SyncFileID(7));
    EXPECT_TRUE(atA->syncFileID().isLocal());
    EXPECT_EQ(nfc->syncFileID(), SyncFileID(10));
    EXPECT_TRUE(nfd->syncFileID().isLocal());
    EXPECT_EQ(views.twins, std::vector<FileRef> { nfd });
    EXPECT_TRUE(atX->syncFileID().isLocal());
    EXPECT_EQ(views.storedFiles, (std::vector<FileRef> { first, storedCafe }));
}

TEST(IdentityResolutionTests, DuplicatePathsTakeTheFirst)
{
    // Of two records at one path (none bound) the first is compared and adopted; the second is no delete.
    auto first = makeFile(7, "/a", 1);
    auto second = makeFile(8, "/a", 1);
    auto disk = scannedFile("/a");
    auto views = resolve({ disk }, { first, second });
    EXPECT_EQ(disk->syncFileID(), SyncFileID(7));
    EXPECT_TRUE(computeChanges(views.diskFiles, views.storedFiles, MergePolicy::TakeLocal).empty());
}

TEST(IdentityResolutionTests, ARenamedItemsIdentityIsNotTakenAgainByPath)
{
    // A file renamed and a new one saved under the old name: the rename goes up as a move,
    // the new file as an upload, and nothing replaces the moved file's content.
    Bindings bindings;
    bindings.ids = { { "/Docs/report.txt~", 7 }, { "/Docs", 3 } };
    auto storedFolder = makeFolder(3, "/Docs", 1);
    auto storedFile = makeFile(7, "/Docs/report.txt", 3);
    auto folder = scannedFolder("/Docs");
    auto fresh = makeFile(SyncFileID(), "/Docs/report.txt", SyncFileID(), std::string(40, 'b'));
    auto renamed = scannedFile("/Docs/report.txt~");
    // A new folder where a bound folder was: its contents do not go into the moved one.
    bindings.ids.emplace("/Archive", 4);
    auto storedOld = makeFolder(4, "/Old", 1);
    auto moved = scannedFolder("/Archive");
    auto newOld = scannedFolder("/Old");
    auto inNewOld = scannedFile("/Old/n.txt");
    auto views = resolve({ folder, fresh, renamed, moved, newOld, inNewOld }, { storedFolder, storedFile, storedOld },
        bindings.lookup());
    EXPECT_EQ(renamed->syncFileID(), SyncFileID(7));
    EXPECT_TRUE(fresh->syncFileID().isLocal());
    EXPECT_EQ(fresh->syncParentID(), SyncFileID(3));
    EXPECT_TRUE(newOld->syncFileID().isLocal());
    EXPECT_TRUE(inNewOld->syncParentID().isLocal());
    auto changes = computeChanges(views.diskFiles, views.storedFiles, MergePolicy::TakeLocal);
    std::vector<std::string> texts;
    for (const auto& change : changes)
        texts.push_back(change.description());
    EXPECT_EQ(texts, (std::vector<std::string> { "Invalid change", "Upload /Old/", "Upload /Docs/report.txt",
                         "Remote move /Old/ to /Archive/", "Remote move /Docs/report.txt to /Docs/report.txt~" }));
}
