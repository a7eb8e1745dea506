#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Sync/Sharing/PrivateShareInfoItem.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;
using Kind = SyncEvent::Kind;

namespace {

std::shared_ptr<RemoteFile> listingEntry(std::int64_t id, std::string path)
{
    RemoteFile::Fields fields;
    fields.id = id;
    fields.parentID = InMemorySyncServer::rootID;
    fields.fileName = path.substr(path.rfind('/') + 1);
    fields.path = std::move(path);
    fields.type = FileType::file("text/plain");
    fields.fileHash = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
    fields.etag = "e";
    return std::make_shared<RemoteFile>(std::move(fields));
}

bool isUnsafePathError(const SyncEventPair& pair)
{
    const auto* error = pair.first.isError() ? pair.first.error()->as<ChangeExecutionError>() : nullptr;
    return error && error->code == ChangeExecutionError::Code::unsafePath;
}

} // namespace

TEST(LocalChangeExecutor, ServerPathsThatLeaveTheCloudFolderTouchNothing)
{
    // A listing entry with ".." is an error event: nothing is written outside the folder, nothing stored.
    TestCloud cloud;
    cloud.server->addListingEntry(listingEntry(900, "/../escape.txt"));
    cloud.server->addListingEntry(listingEntry(901, "/A/../../escape2.txt"));

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    ASSERT_EQ(changesWith(run, Kind::Error).size(), 2u);
    for (const auto& pair : run.events) {
        if (pair.first.isError()) {
            EXPECT_TRUE(isUnsafePathError(pair)) << pair.first.description();
        }
    }
    EXPECT_EQ(::access((cloud.directory() + "/escape.txt").c_str(), F_OK), -1);
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_TRUE(cloud.storedPaths().empty());
}

TEST(LocalChangeExecutor, ServerPathsThroughALinkedFolderTouchNothing)
{
    // A folder in the cloud folder that is a link to somewhere else never receives a download.
    TestCloud cloud;
    const auto outside = cloud.directory() + "/Outside";
    ASSERT_TRUE(Platform::createDirectory(outside, Platform::CreateIntermediates::No));
    ASSERT_EQ(::symlink(outside.c_str(), cloud.diskPath("/Link").c_str()), 0);
    cloud.server->addFile("/Link/payload.txt", "payload");

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(::access((outside + "/payload.txt").c_str(), F_OK), -1);
    EXPECT_FALSE(errorsOf(run).empty());
}

TEST(LocalChangeExecutor, AFailedFolderCreationIsAnErrorAndDeletesNothingLater)
{
    // When a new server folder cannot be made on disk, its change fails, and
    // later runs do not take the missing folder for a local delete.
    TestCloud cloud;
    cloud.server->addFile("/X/inside.txt", "inside");
    cloud.writeFile("/X", "a file in the way");

    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    const auto errors = changesWith(first, Kind::Error);
    EXPECT_NE(std::ranges::find(errors, "Download /X/"), errors.end()) << ::testing::PrintToString(errorsOf(first));
    auto second = cloud.sync();
    ASSERT_TRUE(second.completed);

    EXPECT_EQ(cloud.server->contentAt("/X/inside.txt"), "inside");
    EXPECT_EQ(cloud.server->callCount(Call::deleteItem), 0);
    EXPECT_EQ(cloud.readFile("/X"), "a file in the way");
}

TEST(LocalChangeExecutor, ShareInformationIsFetchedOnlyForSharedFiles)
{
    // A metadata change fetches the shares the flags announce and stores them with the record.
    TestCloud cloud;
    cloud.server->addFile("/shared.txt", "s");
    cloud.server->addFile("/plain.txt", "p");
    ASSERT_TRUE(cloud.sync().completed);
    auto link = std::make_shared<PublicShareInfoItem>(7, cloud.server->idAt("/shared.txt"),
        *Platform::URL::create("https://share.example/abc"), std::nullopt);
    auto invite = std::make_shared<PrivateShareInfoItem>(8, cloud.server->idAt("/shared.txt"), true,
        ShareInfoStatus::Accepted, std::optional<std::string>("Eva"), "eva@example.org", "shared.txt");
    ASSERT_TRUE(cloud.server->setShares("/shared.txt", link, { invite }));
    cloud.server->resetCounts();

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(changesWith(run, Kind::Finished), std::vector<std::string> { "Update Metadata for: /shared.txt" });
    EXPECT_EQ(cloud.server->callCount(Call::publicShareInfo), 1);
    EXPECT_EQ(cloud.server->callCount(Call::privateShareInfos), 1);
    auto stored = std::dynamic_pointer_cast<FileWrapperItem>(cloud.fileStore->fileAtPath("/shared.txt"));
    ASSERT_TRUE(stored);
    ASSERT_TRUE(stored->publicShareInfo());
    EXPECT_EQ(stored->publicShareInfo()->publicURL().absoluteString(), "https://share.example/abc");
    ASSERT_EQ(stored->privateShareInfos().size(), 1u);
    EXPECT_EQ(stored->privateShareInfos()[0]->email(), "eva@example.org");
    expectIdle(cloud);
}

TEST(LocalChangeExecutor, AFailedShareCallKeepsTheOldRecord)
{
    // When one of the share calls fails, the metadata change is an error and the record keeps its old shares.
    TestCloud cloud;
    cloud.server->addFile("/shared.txt", "s");
    ASSERT_TRUE(cloud.sync().completed);
    auto link = std::make_shared<PublicShareInfoItem>(7, cloud.server->idAt("/shared.txt"),
        *Platform::URL::create("https://share.example/abc"), std::nullopt);
    ASSERT_TRUE(cloud.server->setShares("/shared.txt", link, {}));
    cloud.server->failNext(Call::publicShareInfo);

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(changesWith(run, Kind::Error), std::vector<std::string> { "Update Metadata for: /shared.txt" });
    auto stored = std::dynamic_pointer_cast<FileWrapperItem>(cloud.fileStore->fileAtPath("/shared.txt"));
    ASSERT_TRUE(stored);
    EXPECT_FALSE(stored->publicShareInfo());
    EXPECT_FALSE(stored->hasPublicShare());
}

TEST(LocalChangeExecutor, AFolderUpdateHasNoEvents)
{
    // Updating a folder from the server is nothing to do and sends no event at all.
    TestCloud cloud;
    auto folder = std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
        .syncFileID = SyncFileID::remote(5),
        .path = "/F/",
        .fileName = "F",
        .syncParentID = SyncFileID::remote(100),
        .lastModifiedDate = Platform::Date(),
        .type = FileType::folder(),
        .fileHash = ""
    });
    int events = 0;
    cloud.manager->performLocalOperation(FileOperation::update(folder)).startWithValues([&](const SyncEventPair&) {
        ++events;
    });
    cloud.manager->performRemoteOperation(FileOperation::update(folder)).startWithValues([&](const SyncEventPair&) {
        ++events;
    });
    cloud.manager->performRemoteOperation(FileOperation::metaData(folder)).startWithValues([&](const SyncEventPair&) {
        ++events;
    });
    EXPECT_EQ(events, 0);
}

TEST(LocalChangeExecutor, AFailedDiskDeleteIsAnErrorAndKeepsTheRecordAndStatus)
{
    // An item the server deleted that cannot leave the disk keeps its record and status, and the next run deletes it.
    TestCloud cloud;
    cloud.server->addFile("/gone.txt", "g");
    ASSERT_TRUE(cloud.sync().completed);
    ASSERT_TRUE(cloud.server->removeItem("/gone.txt"));
    // Deletes go to a Trash that cannot be made: a file stands where its folder would be.
    const DataHome dataHome(cloud.directory() + "/data");
    ASSERT_TRUE(Platform::createDirectory(cloud.directory() + "/data", Platform::CreateIntermediates::No));
    Platform::Testing::writeFile(cloud.directory() + "/data/Trash", "in the way");
    cloud.configuration->m_movesToTrash.set(true);

    auto failed = cloud.sync();

    ASSERT_TRUE(failed.completed);
    EXPECT_EQ(changesWith(failed, Kind::Error), std::vector<std::string> { "Local delete /gone.txt" });
    EXPECT_EQ(cloud.readFile("/gone.txt"), "g");
    EXPECT_EQ(cloud.storedPaths(), std::vector<std::string> { "/gone.txt" });
    EXPECT_EQ(cloud.status("/gone.txt"), FileSyncStatus::error);

    ASSERT_EQ(::unlink((cloud.directory() + "/data/Trash").c_str()), 0);
    auto again = cloud.sync();
    ASSERT_TRUE(again.completed);
    EXPECT_EQ(changesWith(again, Kind::Finished), std::vector<std::string> { "Local delete /gone.txt" });
    EXPECT_FALSE(cloud.exists("/gone.txt"));
    EXPECT_TRUE(cloud.storedPaths().empty());
    EXPECT_EQ(Platform::Testing::readFile(cloud.directory() + "/data/Trash/files/gone.txt"), "g");
}

TEST(LocalChangeExecutor, AMoveOntoAnotherBoundItemIsNotInPlace)
{
    // Only the moved item itself at the destination counts as moved already: another bound item there stays, and the move fails.
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "a");
    cloud.server->addFile("/b.txt", "b");
    ASSERT_TRUE(cloud.sync().completed);
    auto from = cloud.fileStore->fileAtPath("/a.txt");
    ASSERT_TRUE(from);
    auto to = std::make_shared<FileWrapperItem>(*from);
    to->setPath("/b.txt");
    to->setFileName("b.txt");

    std::vector<SyncEventPair> events;
    cloud.manager->performLocalOperation(FileOperation::move(from, to)).startWithValues([&](const SyncEventPair& pair) {
        events.push_back(pair);
    });

    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events.back().first.isError()) << events.back().first.description();
    EXPECT_EQ(cloud.readFile("/a.txt"), "a");
    EXPECT_EQ(cloud.readFile("/b.txt"), "b");
    auto stored = cloud.fileStore->file(from->syncFileID());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->path(), "/a.txt");
    EXPECT_EQ(cloud.status("/a.txt"), FileSyncStatus::upToDate);
}

TEST(LocalChangeExecutor, AFileRenamedThreeFoldersBelowAFolderTheServerMovedIsRenamedWhereTheMoveTookIt)
{
    // The folder's move carries the file along on disk before the rename comes; the rename finds it there, however
    // many folders lie between, and nothing is downloaded again.
    TestCloud cloud;
    cloud.server->addFile("/A/B/C/f.txt", "deep");
    ASSERT_TRUE(cloud.sync().completed);
    ASSERT_TRUE(cloud.server->moveItem("/A/", "/X/"));
    ASSERT_TRUE(cloud.server->moveItem("/X/B/C/f.txt", "/X/B/C/g.txt"));
    cloud.server->resetCounts();

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.diskPaths(), (std::vector<std::string> { "/X/", "/X/B/", "/X/B/C/", "/X/B/C/g.txt" }));
    EXPECT_EQ(cloud.readFile("/X/B/C/g.txt"), "deep");
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    expectInStep(cloud);
    expectIdle(cloud);
}
