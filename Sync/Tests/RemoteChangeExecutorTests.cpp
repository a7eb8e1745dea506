#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include "Sync/Disk/DiskOperationError.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;
using Kind = SyncEvent::Kind;

namespace {

std::shared_ptr<FileWrapperItem> item(SyncFileID id, std::string path, SyncFileID parent)
{
    auto name = path.substr(path.rfind('/') + 1);
    return std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
        .syncFileID = id,
        .path = std::move(path),
        .fileName = std::move(name),
        .syncParentID = parent,
        .lastModifiedDate = Platform::Date(),
        .type = FileType::file("text/plain"),
        .fileHash = ""
    });
}

// The server double, except that uploads land under another name (as a
// service that resolves name clashes itself would answer).
class RenamingServer final : public SyncAPIClient {
public:
    RenamingServer(std::shared_ptr<InMemorySyncServer> server, std::string uploadedAs)
        : m_server(std::move(server))
        , m_uploadedAs(std::move(uploadedAs))
    {
    }

    Producer<FileRef> syncUpload(FileRef file, Platform::URL cloudFolder) override
    {
        auto server = m_server;
        auto target = m_uploadedAs;
        return m_server->syncUpload(file, cloudFolder).map([server, target](FileRef&& result) -> FileRef {
            server->moveItem(result->path(), target);
            return server->fileAt(target);
        });
    }
    Producer<std::int64_t> syncRootFolderID() override { return m_server->syncRootFolderID(); }
    Producer<std::vector<FileRef>> syncRemoteFiles() override { return m_server->syncRemoteFiles(); }
    Producer<std::string> syncRootEtag() override { return m_server->syncRootEtag(); }
    Producer<DownloadedFileRef> syncDownload(FileRef file) override { return m_server->syncDownload(file); }
    Producer<FileRef> syncReupload(FileRef file, Platform::URL folder) override { return m_server->syncReupload(file, folder); }
    Producer<FileRef> syncCreateFolder(FileRef file) override { return m_server->syncCreateFolder(file); }
    Producer<Reactive::Unit> syncDelete(FileRef file) override { return m_server->syncDelete(file); }
    Producer<FileRef> syncRename(FileRef file) override { return m_server->syncRename(file); }
    Producer<FileRef> syncMove(FileRef file) override { return m_server->syncMove(file); }
    Producer<PublicShare> syncPublicShareInfo(FileRef file) override { return m_server->syncPublicShareInfo(file); }
    Producer<PrivateShares> syncPrivateShareInfos(FileRef file) override { return m_server->syncPrivateShareInfos(file); }

private:
    std::shared_ptr<InMemorySyncServer> m_server;
    std::string m_uploadedAs;
};

std::shared_ptr<SyncManager> managerWith(TestCloud& cloud, std::shared_ptr<SyncAPIClient> client)
{
    return std::make_shared<SyncManager>(std::move(client), *cloud.fileSystemStore, cloud.fileStore,
        cloud.referenceMapping, cloud.statusStore);
}

} // namespace

TEST(RemoteChangeExecutor, MovesAreRenamesWhenTheParentsHaveTheSameRemoteID)
{
    // Rename or move is chosen by the parents' remote ids; two local parents count as the same.
    EXPECT_TRUE(isRename(*item(1, "/a", 100), *item(1, "/b", 100)));
    EXPECT_FALSE(isRename(*item(1, "/a", 100), *item(1, "/F/a", 101)));
    EXPECT_TRUE(isRename(*item(1, "/N/a", SyncFileID()), *item(1, "/N/b", SyncFileID())));
    EXPECT_FALSE(isRename(*item(1, "/N/a", SyncFileID()), *item(1, "/a", 100)));
}

TEST(RemoteChangeExecutor, AnUploadAnsweredUnderAnotherNameMovesTheDiskItem)
{
    // The disk item follows the server's answer: moved, dated, stored, marked and referenced at the new place.
    TestCloud cloud;
    cloud.writeFile("/draft.txt", "text");
    cloud.manager = managerWith(cloud, std::make_shared<RenamingServer>(cloud.server, "/final.txt"));

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_FALSE(cloud.exists("/draft.txt"));
    EXPECT_EQ(cloud.readFile("/final.txt"), "text");
    EXPECT_EQ(cloud.storedPaths(), std::vector<std::string> { "/final.txt" });
    EXPECT_EQ(cloud.status("/final.txt"), FileSyncStatus::upToDate);
    EXPECT_EQ(cloud.status("/draft.txt"), FileSyncStatus::unknown);
    auto referenced = cloud.referenceMapping->file("/final.txt", cloud.cloudFolderURL());
    ASSERT_TRUE(referenced);
    EXPECT_EQ(referenced->syncFileID(), SyncFileID::remote(*cloud.server->idAt("/final.txt")));
    expectIdle(cloud);
}

TEST(RemoteChangeExecutor, AFailedDiskStepAfterAnUploadIsAnErrorAndStoresNothing)
{
    // When the disk item cannot follow the server's answer, the change fails and nothing is recorded for it.
    TestCloud cloud;
    cloud.writeFile("/draft.txt", "text");
    cloud.server->addFolder("/Elsewhere/");
    cloud.manager = managerWith(cloud, std::make_shared<RenamingServer>(cloud.server, "/Elsewhere/final.txt"));
    // The run's remote phase would create the folder on disk; only the local phase is of interest.
    cloud.server->failAlways(Call::remoteFiles);

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    ASSERT_EQ(changesWith(run, Kind::Error), std::vector<std::string> { "Upload /draft.txt" });
    for (const auto& [event, change] : run.events) {
        if (event.isError()) {
            EXPECT_TRUE(event.error()->is<DiskOperationError>()) << event.description();
        }
    }
    EXPECT_EQ(cloud.readFile("/draft.txt"), "text");
    EXPECT_TRUE(cloud.storedPaths().empty());
    EXPECT_EQ(cloud.status("/draft.txt"), FileSyncStatus::error);
}

TEST(RemoteChangeExecutor, AFailedDeleteKeepsTheRecordAndTheNextRunDeletesAgain)
{
    // A delete the server refused keeps the stored record, so the next run sends it again.
    TestCloud cloud;
    cloud.server->addFile("/gone.txt", "g");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.removeItem("/gone.txt");
    cloud.server->failNext(Call::deleteItem);

    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    EXPECT_EQ(changesWith(first, Kind::Error), std::vector<std::string> { "Remote delete /gone.txt" });
    EXPECT_EQ(cloud.storedPaths(), std::vector<std::string> { "/gone.txt" });
    EXPECT_TRUE(cloud.server->idAt("/gone.txt"));

    auto second = cloud.sync();
    ASSERT_TRUE(second.completed);
    EXPECT_FALSE(cloud.server->idAt("/gone.txt"));
    EXPECT_TRUE(cloud.storedPaths().empty());
    expectIdle(cloud);
}
