#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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

namespace {

const std::string stagingPath = "/" + std::string(FileSystemFileStore::stagingFolderName);

// The names in a folder of the disk, sorted.
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::ranges::sort(names);
    return names;
}

unsigned modeOf(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

// Sets the process's umask for the life of the object.
class Umask {
public:
    explicit Umask(mode_t mask) : m_previous(::umask(mask)) { }
    ~Umask() { ::umask(m_previous); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t m_previous;
};

} // namespace

TEST(DiskRaces, AStagingLinkPointingOutsideTheCloudFolderIsNeverFollowed)
{
    // A link of the staging folder's name at the top, into a folder of the
    // user's outside: the scans leave the user's files out there alone (a
    // name like a staged download's included), the first download moves the
    // link aside as it is and stages in a real folder made in its place.
    TestCloud cloud;
    const auto outside = cloud.directory() + "/outside";
    ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
    const auto usersFile = outside + "/" + std::string(FileSystemFileStore::stagedDownloadPrefix) + "mine";
    Platform::Testing::writeFile(usersFile, "the user's");
    ASSERT_EQ(::symlink(outside.c_str(), cloud.diskPath(stagingPath).c_str()), 0);

    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(Platform::Testing::readFile(usersFile), "the user's");

    cloud.server->addFile("/a.txt", "a");
    cloud.server->addFile("/Docs/b.txt", "b");
    auto run = cloud.sync();
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.readFile("/a.txt"), "a");
    EXPECT_EQ(cloud.readFile("/Docs/b.txt"), "b");
    EXPECT_EQ(namesIn(outside), std::vector<std::string> { std::string(FileSystemFileStore::stagedDownloadPrefix) + "mine" });
    EXPECT_EQ(Platform::Testing::readFile(usersFile), "the user's");
    EXPECT_TRUE(S_ISDIR(modeOf(cloud.diskPath(stagingPath))));
    const auto aside = cloud.diskPath(stagingPath + " (1)");
    ASSERT_TRUE(S_ISLNK(modeOf(aside)));
    EXPECT_EQ(std::filesystem::read_symlink(aside), outside);
}

TEST(DiskRaces, AUsersFileOfTheStagingFoldersNameIsKeptAndDownloadsGoOn)
{
    // A file of the user's where the staging folder belongs failed every
    // download, for ever: it is moved aside under a free name (the log
    // says where), the downloads land, and the file then syncs like any.
    TestCloud cloud;
    cloud.writeFile(stagingPath, "the user's notes");
    cloud.writeFile(stagingPath + " (1)", "taken already");
    cloud.server->addFile("/a.txt", "a");
    cloud.server->addFile("/Docs/b.txt", "b");
    Platform::LogCapture log;

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.readFile("/a.txt"), "a");
    EXPECT_EQ(cloud.readFile("/Docs/b.txt"), "b");
    EXPECT_EQ(cloud.readFile(stagingPath + " (2)"), "the user's notes");
    EXPECT_EQ(cloud.readFile(stagingPath + " (1)"), "taken already");
    EXPECT_TRUE(log.contains("moved to " + cloud.diskPath(stagingPath + " (2)")));
    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.server->contentAt(stagingPath + " (2)"), "the user's notes");
    expectInStep(cloud);
}

TEST(DiskRaces, TheStagingFolderIsOnlyItsOwnersWhateverTheUmask)
{
    // Made under a permissive umask, or found opened up, the staging folder
    // is 0700: no other user lists the downloads in progress.
    Umask permissive(0);
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "a");
    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(modeOf(cloud.diskPath(stagingPath)) & 07777, 0700u);

    ASSERT_EQ(::chmod(cloud.diskPath(stagingPath).c_str(), 0755), 0);
    cloud.server->setContent("/a.txt", "b");
    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.readFile("/a.txt"), "b");
    EXPECT_EQ(modeOf(cloud.diskPath(stagingPath)) & 07777, 0700u);
}

TEST(DiskRaces, ADownloadThatCannotBePlacedLeavesNothingStagedOrDownloaded)
{
    // A folder of the user's where the file goes, and a file where it must
    // not be replaced: each placement fails, the user's item stays, and
    // neither the staging folder nor the transport's folder keeps a byte.
    TestCloud cloud;
    const auto transport = cloud.directory() + "/transport";
    ASSERT_EQ(::mkdir(transport.c_str(), 0700), 0);
    auto file = std::make_shared<FileWrapperItem>(FileWrapperItem::Fields { .path = "/a.txt", .fileName = "a.txt",
        .type = FileType::file("text/plain") });
    cloud.makeFolder("/a.txt");
    cloud.writeFile("/a.txt/keep", "the user's");
    cloud.writeFile("/b.txt", "the user's too");
    auto other = std::make_shared<FileWrapperItem>(static_cast<const File&>(*file));
    other->setPath("/b.txt");

    Platform::Testing::writeFile(transport + "/1", "downloaded");
    auto intoFolder = cloud.fileSystemStore->placeDownload(DownloadedFile(transport + "/1"), *file,
        cloud.cloudFolderURL(), Platform::ReplaceExisting::Yes);
    Platform::Testing::writeFile(transport + "/2", "downloaded");
    auto ontoFile = cloud.fileSystemStore->placeDownload(DownloadedFile(transport + "/2"), *other,
        cloud.cloudFolderURL(), Platform::ReplaceExisting::No);

    EXPECT_FALSE(intoFolder);
    EXPECT_FALSE(ontoFile);
    EXPECT_EQ(cloud.readFile("/a.txt/keep"), "the user's");
    EXPECT_EQ(cloud.readFile("/b.txt"), "the user's too");
    EXPECT_EQ(namesIn(cloud.diskPath(stagingPath)), std::vector<std::string>());
    EXPECT_EQ(namesIn(transport), std::vector<std::string>());
}
