#include "Orvella/Service/RemoteSyncFile.hpp"
#include "Orvella/Service/SyncAdapterError.hpp"
#include "Orvella/Sharing/APIManagerError.hpp"
#include "Orvella/Tests/ServiceFixture.hpp"
#include "Platform/FileSystem/ItemStat.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/TestSupport/TestCloud.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <sys/stat.h>

using namespace Orvella;
using namespace Orvella::Testing;
using Quarlink::Testing::Recorder;
using Quarlink::Testing::run;
using Platform::Testing::readFile;
using Platform::Testing::writeFile;

namespace {

class SyncAdapterTests : public ServiceFixture {
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        m_ownChanges = Platform::OwnChangeRegistry::create();
        m_manager = makeManager(m_decorated);
        m_diskStore = std::make_shared<Sync::FileSystemFileStore>(
            std::make_shared<Sync::Testing::TestFolderConfiguration>(cloudURL()), m_ownChanges);
        m_adapter = makeAdapter(m_manager);
        serveCustomer();
        ASSERT_TRUE(run(m_manager->login({ "anna", m_credentials.password })).back().isCompleted());
    }

    Platform::URL cloudURL() const { return Platform::URL::fileURL(m_cloud.path(), Platform::URL::IsDirectory::Yes); }

    void seed(const std::vector<LocalCloud::SeedEntry>& entries)
    {
        ASSERT_TRUE(m_server->seedTree(m_credentials.username, entries).has_value());
    }

    std::map<std::string, Sync::FileRef> listing()
    {
        std::map<std::string, Sync::FileRef> byPath;
        auto events = run(m_adapter->syncRemoteFiles());
        EXPECT_TRUE(events.back().isCompleted());
        for (const auto& file : events.front().value())
            byPath[file->path()] = file;
        return byPath;
    }

    // Entries of a local folder, staged downloads included.
    std::vector<std::string> entries(const std::string& folder) const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        return names;
    }

    static bool hasStagedFile(const std::vector<std::string>& names)
    {
        return std::ranges::any_of(names, [](const std::string& name) { return Sync::FileSystemFileStore::isStagedDownloadName(name); });
    }

    // Whether a staged file stayed in the engine's staging folder.
    bool stagedFileLeft() const
    {
        auto staging = m_cloud / std::string(Sync::FileSystemFileStore::stagingFolderName);
        return std::filesystem::exists(staging) && hasStagedFile(entries(staging));
    }

    static Sync::FileRef remote(std::int64_t id, std::string path, std::string mimeType = "text/plain", std::int64_t parent = 1)
    {
        auto name = path.substr(path.find_last_of('/', path.size() - 2) + 1);
        return RemoteSyncFile::make(Quarlink::File({ .fileID = id, .parentID = parent, .path = path, .fileName = name,
            .mimeType = mimeType, .etag = "e" }));
    }

    static Sync::FileRef local(std::string path, Sync::SyncFileID parent, bool folder = false)
    {
        auto name = path.substr(path.find_last_of('/', path.size() - 2) + 1);
        if (name.ends_with('/'))
            name.pop_back();
        return std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields { .path = path, .fileName = name,
            .syncParentID = parent, .type = folder ? Sync::FileType::folder() : Sync::FileType::file("text/plain") });
    }

    std::int64_t rootID() { return m_server->rootIdentifier(m_credentials.username); }

    // The adapter's download, as the engine takes it: the transport's file
    // put in place by the engine's disk store. The placed path, or the error
    // of the download or of its placement.
    std::expected<std::string, Reactive::AnyError> download(const Sync::FileRef& file, Sync::ReplaceExisting replace)
    {
        std::mutex mutex;
        std::condition_variable changed;
        Sync::DownloadedFileRef value;
        std::optional<Reactive::AnyError> error;
        bool ended = false;
        using Event = Reactive::Event<Sync::DownloadedFileRef, Reactive::AnyError>;
        auto started = m_adapter->syncDownload(file).start(
            Reactive::Observer<Sync::DownloadedFileRef, Reactive::AnyError>::make([&](Event&& event) {
                std::lock_guard lock(mutex);
                if (event.isValue()) {
                    value = std::move(event).value();
                } else {
                    if (event.isFailed())
                        error = std::move(event).error();
                    ended = true;
                }
                changed.notify_all();
            }));
        {
            std::unique_lock lock(mutex);
            EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return ended; }));
        }
        if (error)
            return std::unexpected(*error);
        if (!value)
            return std::unexpected(Reactive::AnyError(Platform::FileSystemError::make(Platform::FileSystemErrorCode::notFound, "no value")));
        auto placed = m_diskStore->placeDownload(std::move(*value), *file, cloudURL(), replace);
        if (!placed)
            return std::unexpected(Reactive::AnyError(placed.error()));
        return *placed;
    }

    Platform::Testing::TemporaryDirectory m_cloud;
    std::shared_ptr<Platform::OwnChangeRegistry> m_ownChanges;
    std::shared_ptr<Sync::FileSystemFileStore> m_diskStore;
    std::shared_ptr<SyncAPIClientAdapter> m_adapter;
};

} // namespace

TEST(RemoteSyncFileTests, FolderPathsEndWithOneSlashAndHashesAreLowerCase)
{
    // Whatever the service sends: "/Docs", "/Docs//" and "/Docs/" are one folder path; files keep theirs.
    for (const char* path : { "/Docs", "/Docs/", "/Docs//" }) {
        auto folder = RemoteSyncFile::make(Quarlink::File({ .fileID = 5, .parentID = 1, .path = path, .fileName = "Docs",
            .mimeType = "httpd/unix-directory", .etag = "e1" }));
        EXPECT_EQ(folder->path(), "/Docs/") << path;
        EXPECT_TRUE(Sync::isFolder(*folder));
    }
    auto file = RemoteSyncFile::make(Quarlink::File({ .fileID = 6, .parentID = 5, .path = "/Docs/a.txt", .fileName = "a.txt",
        .mimeType = "text/plain", .fileHash = "ABCDEF0123", .etag = "e2" }));
    EXPECT_EQ(file->path(), "/Docs/a.txt");
    EXPECT_EQ(file->fileHash(), "abcdef0123");
    EXPECT_EQ(file->type().mimeType(), "text/plain");
    EXPECT_EQ(file->syncEtag(), "e2");
    EXPECT_EQ(file->syncFileID(), Sync::SyncFileID::remote(6));
    EXPECT_EQ(file->syncParentID(), Sync::SyncFileID::remote(5));

    // Each field from its own, and a remote value another one shares is left as it was.
    const Quarlink::File shared({ .fileID = 8, .parentID = 5, .path = "/Docs/a shared file with a long name.txt",
        .fileName = "a shared file with a long name.txt", .hasPrivateShares = false, .hasPublicShare = true,
        .lastModifiedDate = Platform::Date::fromNanosecondsSince1970(1'700'000'000'123'456'789), .mimeType = "text/plain",
        .etag = "etag of the shared file" });
    auto kept = shared;
    auto engineFile = RemoteSyncFile::make(kept);
    EXPECT_EQ(engineFile->fileName(), "a shared file with a long name.txt");
    EXPECT_TRUE(engineFile->hasPublicShare());
    EXPECT_FALSE(engineFile->hasPrivateShares());
    EXPECT_EQ(engineFile->lastModifiedDate(), shared.lastModifiedDate());
    EXPECT_EQ(kept.path(), "/Docs/a shared file with a long name.txt");
    EXPECT_EQ(kept.etag(), "etag of the shared file");
    EXPECT_EQ(kept, shared);
}

TEST(RemoteSyncFileTests, AListingTakenOverGivesTheSameFilesAsACopiedOne)
{
    // Paths longer than any inline text, so a path taken from a moved value would show.
    std::vector<Quarlink::File> listing {
        Quarlink::File({ .fileID = 5, .parentID = 1, .path = "/A folder with a long name//", .fileName = "A folder with a long name",
            .mimeType = "httpd/unix-directory", .etag = "etag of the folder" }),
        Quarlink::File({ .fileID = 6, .parentID = 5, .path = "/A folder with a long name/first file.txt",
            .fileName = "first file.txt", .mimeType = "text/plain", .fileHash = "AB", .etag = "etag of the first" }),
        Quarlink::File({ .fileID = 7, .parentID = 5, .path = "/A folder with a long name/second file.txt",
            .fileName = "second file.txt", .mimeType = "text/plain", .fileHash = "cd", .etag = "etag of the second" }),
    };
    auto copied = RemoteSyncFile::make(listing);
    auto taken = RemoteSyncFile::make(std::move(listing));
    EXPECT_TRUE(listing.empty());
    EXPECT_TRUE(Sync::sameFiles(copied, taken));
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0]->path(), "/A folder with a long name/");
    EXPECT_EQ(taken[2]->path(), "/A folder with a long name/second file.txt");
    EXPECT_EQ(taken[2]->fileName(), "second file.txt");
}

TEST_F(SyncAdapterTests, TheRootFolderComesFromTheCacheOrElseFromACustomerRequestEveryTime)
{
    // With customer data cached no request is sent; with none, each start asks the service and caches nothing.
    auto before = requestsTo("GET", "customer");
    ASSERT_EQ(run(m_adapter->syncRootFolderID()).front().value(), rootID());
    EXPECT_EQ(requestsTo("GET", "customer"), before);
    auto freshManager = makeManager(m_decorated);
    auto fresh = makeAdapter(freshManager);
    ASSERT_EQ(run(fresh->syncRootFolderID()).front().value(), rootID());
    ASSERT_EQ(run(fresh->syncRootFolderID()).front().value(), rootID());
    EXPECT_EQ(requestsTo("GET", "customer"), before + 2);
    EXPECT_FALSE(freshManager->customerInfo().value());
    auto etag = run(fresh->syncRootEtag());
    ASSERT_TRUE(etag.back().isCompleted());
    EXPECT_FALSE(etag.front().value().empty());
}

TEST_F(SyncAdapterTests, ADownloadCreatesItsParentsDatesTheFileAndRegistersWhatItTouched)
{
    // The nested target's folders are made, the content and the remote date land, nothing staged stays behind.
    seed({ { "/A/" }, { "/A/B/" }, { "/A/B/c.txt", "inhalt" } });
    auto file = listing().at("/A/B/c.txt");
    auto placed = download(file, Sync::ReplaceExisting::No);
    ASSERT_TRUE(placed) << placed.error().description();
    auto target = m_cloud / "A/B/c.txt";
    EXPECT_EQ(*placed, target);
    EXPECT_EQ(readFile(target), "inhalt");
    auto status = Platform::ItemStat::of(target);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->modificationTime.time_since_epoch().count(), file->lastModifiedDate().nanosecondsSince1970());
    EXPECT_FALSE(hasStagedFile(entries(m_cloud / "A/B")) || stagedFileLeft());
    auto now = Platform::OwnChangeRegistry::Clock::now();
    EXPECT_TRUE(m_ownChanges->contains(target, now));
    EXPECT_TRUE(m_ownChanges->contains(m_cloud / "A", now));
    EXPECT_TRUE(m_ownChanges->contains(m_cloud / "A/B", now));
    EXPECT_TRUE(downloadsFolderEmpties());
}

TEST_F(SyncAdapterTests, ADownloadedFileGetsTheModeOfANewFileOfTheUser)
{
    // A new and a replacing download both get 0666 less the umask, as the user's own new files do, not the
    // transport's private 0600.
    seed({ { "/a.txt", "a" }, { "/b.txt", "b" } });
    auto files = listing();
    const auto previous = ::umask(022);
    auto created = download(files.at("/a.txt"), Sync::ReplaceExisting::No);
    ::umask(027);
    writeFile(m_cloud / "b.txt", "old");
    ::chmod((m_cloud / "b.txt").c_str(), 0600);
    auto replaced = download(files.at("/b.txt"), Sync::ReplaceExisting::Yes);
    ::umask(previous);
    ASSERT_TRUE(created);
    ASSERT_TRUE(replaced);
    struct stat status {};
    ASSERT_EQ(::stat((m_cloud / "a.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
    ASSERT_EQ(::stat((m_cloud / "b.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(m_cloud / "b.txt"), "b");
}

TEST_F(SyncAdapterTests, WithoutReplaceAnExistingFileIsNeverOverwritten)
{
    // The placement fails with the file-system error and the user's file stays; with replace it is replaced.
    seed({ { "/c.txt", "neu" } });
    auto file = listing().at("/c.txt");
    writeFile(m_cloud / "c.txt", "meins");
    ASSERT_FALSE(download(file, Sync::ReplaceExisting::No));
    EXPECT_EQ(readFile(m_cloud / "c.txt"), "meins");
    EXPECT_FALSE(hasStagedFile(entries(m_cloud.path())) || stagedFileLeft());
    EXPECT_TRUE(downloadsFolderEmpties());

    ASSERT_TRUE(download(file, Sync::ReplaceExisting::Yes));
    EXPECT_EQ(readFile(m_cloud / "c.txt"), "neu");

    // A folder in the target's place is never replaced.
    std::filesystem::remove(m_cloud / "c.txt");
    std::filesystem::create_directory(m_cloud / "c.txt");
    writeFile(m_cloud / "c.txt/keep", "x");
    ASSERT_FALSE(download(file, Sync::ReplaceExisting::Yes));
    EXPECT_EQ(readFile(m_cloud / "c.txt/keep"), "x");
    EXPECT_FALSE(hasStagedFile(entries(m_cloud.path())) || stagedFileLeft());
}

TEST_F(SyncAdapterTests, AFailedDownloadLeavesNoTemporaryFileAndNoFolders)
{
    // The service refuses the content: no staged file, no transport file, no parent made for nothing.
    seed({ { "/X/" }, { "/X/d.txt", "inhalt" } });
    auto file = listing().at("/X/d.txt");
    answerError("GET", "files/" + std::to_string(file->syncFileID().remoteID().value()) + "/download", 500, "1002");
    ASSERT_FALSE(download(file, Sync::ReplaceExisting::No));
    EXPECT_TRUE(entries(m_cloud.path()).empty());
    EXPECT_TRUE(downloadsFolderEmpties());
}

TEST_F(SyncAdapterTests, ADisposedDownloadLeavesNoTemporaryFile)
{
    // Disposing while the body arrives ends the transfer; nothing of it stays anywhere.
    std::string content(512 * 1024, '\0');
    std::mt19937 random(7);
    for (auto& byte : content)
        byte = static_cast<char>(random());
    seed({ { "/big.bin", content } });
    auto file = listing().at("/big.bin");
    m_server->setTransferShaping({ .bytesPerSecond = 64 * 1024, .chunkSize = 8 * 1024 });
    Recorder<Sync::DownloadedFileRef> recorder;
    auto started = m_adapter->syncDownload(file).start(recorder.observer());
    ASSERT_TRUE(m_server->waitForInFlight(1, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    started.dispose();
    m_server->setTransferShaping({});
    EXPECT_TRUE(downloadsFolderEmpties());
    for (auto& name : entries(m_cloud.path())) ADD_FAILURE() << name;
}

TEST_F(SyncAdapterTests, ARefusedServerPathTouchesNothingAndSendsNothing)
{
    // A path leaving the cloud folder, or with "." or an empty component, fails before any request or disk step.
    auto before = m_server->requestCount();
    for (const char* path : { "/../evil.txt", "/a/./b.txt", "/a//b.txt", "/../../tmp/x" }) {
        auto file = remote(99, path);
        auto downloaded = download(file, Sync::ReplaceExisting::Yes);
        ASSERT_FALSE(downloaded) << path;
        const auto* error = Quarlink::underlyingError(downloaded.error()).as<SyncAdapterError>();
        ASSERT_TRUE(error) << path;
        EXPECT_EQ(error->errorCase(), SyncAdapterError::Case::refusedPath);
        EXPECT_TRUE(run(m_adapter->syncUpload(remote(99, path), cloudURL())).back().isFailed());
        EXPECT_TRUE(run(m_adapter->syncReupload(remote(99, path), cloudURL())).back().isFailed());
    }
    EXPECT_EQ(m_server->requestCount(), before);
    EXPECT_TRUE(entries(m_cloud.path()).empty());
    EXPECT_FALSE(Platform::Testing::exists(std::filesystem::path(m_cloud.path()).parent_path() / "evil.txt"));
}

TEST_F(SyncAdapterTests, NothingIsSentForAnItemWithoutTheIDItNeeds)
{
    // Local identities fail at once with the missing-id error; a non-folder never becomes a folder.
    auto before = m_server->requestCount();
    auto orphan = local("/a.txt", Sync::SyncFileID());
    auto expectMissing = [](const auto& events) {
        ASSERT_TRUE(events.back().isFailed());
        EXPECT_TRUE(APIManagerError::matches(events.back().error(), APIManagerError::Case::remoteFileIDisMissing));
    };
    expectMissing(run(m_adapter->syncDownload(orphan)));
    expectMissing(run(m_adapter->syncUpload(orphan, cloudURL())));
    expectMissing(run(m_adapter->syncReupload(orphan, cloudURL())));
    expectMissing(run(m_adapter->syncCreateFolder(local("/F/", Sync::SyncFileID(), true))));
    expectMissing(run(m_adapter->syncDelete(orphan)));
    expectMissing(run(m_adapter->syncRename(orphan)));
    expectMissing(run(m_adapter->syncMove(orphan)));
    auto notFolder = run(m_adapter->syncCreateFolder(local("/a.txt", Sync::SyncFileID::remote(rootID()))));
    ASSERT_TRUE(notFolder.back().isFailed());
    EXPECT_EQ(Quarlink::underlyingError(notFolder.back().error()).as<SyncAdapterError>()->errorCase(),
        SyncAdapterError::Case::notAFolder);
    auto fileShares = run(m_adapter->syncPrivateShareInfos(remote(5, "/a.txt")));
    EXPECT_TRUE(APIManagerError::matches(fileShares.back().error(), APIManagerError::Case::cannotCreateShareForItemWithoutID));
    EXPECT_EQ(m_server->requestCount(), before);
}

TEST_F(SyncAdapterTests, UploadCreateRenameMoveAndDeleteReachTheService)
{
    // Each operation's request, and the service's state after it.
    writeFile(m_cloud / "neu.txt", "hallo");
    auto uploaded = run(m_adapter->syncUpload(local("/neu.txt", Sync::SyncFileID::remote(rootID())), cloudURL()));
    ASSERT_TRUE(uploaded.back().isCompleted()) << uploaded.back().error().description();
    auto file = uploaded.front().value();
    EXPECT_EQ(file->path(), "/neu.txt");
    EXPECT_TRUE(file->syncFileID().isRemote());

    auto created = run(m_adapter->syncCreateFolder(local("/Ordner/", Sync::SyncFileID::remote(rootID()), true)));
    ASSERT_TRUE(created.back().isCompleted()) << created.back().error().description();
    auto folder = created.front().value();
    EXPECT_EQ(folder->path(), "/Ordner/");

    auto renamed = std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields { .syncFileID = file->syncFileID(),
        .path = "/umbenannt.txt", .fileName = "umbenannt.txt", .syncParentID = Sync::SyncFileID::remote(rootID()) });
    auto afterRename = run(m_adapter->syncRename(renamed));
    ASSERT_TRUE(afterRename.back().isCompleted());
    EXPECT_EQ(afterRename.front().value()->fileName(), "umbenannt.txt");

    auto moved = std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields { .syncFileID = file->syncFileID(),
        .path = "/Ordner/umbenannt.txt", .fileName = "umbenannt.txt", .syncParentID = folder->syncFileID() });
    auto afterMove = run(m_adapter->syncMove(moved));
    ASSERT_TRUE(afterMove.back().isCompleted());
    EXPECT_EQ(afterMove.front().value()->path(), "/Ordner/umbenannt.txt");

    writeFile(m_cloud / "Ordner/umbenannt.txt", "anders");
    auto reuploaded = run(m_adapter->syncReupload(moved, cloudURL()));
    ASSERT_TRUE(reuploaded.back().isCompleted());

    auto deleted = run(m_adapter->syncDelete(moved));
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_TRUE(deleted[0].isCompleted());
    EXPECT_FALSE(listing().contains("/Ordner/umbenannt.txt"));
}

TEST_F(SyncAdapterTests, ADeleteFailsWithTheAnswersErrorEntryWhenTheFileIsNotListedAsDeleted)
{
    // An error entry without the id among the deleted is the failure; an answer with neither counts as deleted.
    auto item = remote(4242, "/weg.txt");
    answer("POST", "files/deleter", R"({"data":{"success":[],"errors":[{"code":1004,"message":"Datei nicht gefunden"}]}})");
    auto failed = run(m_adapter->syncDelete(item));
    ASSERT_TRUE(failed.back().isFailed());
    EXPECT_TRUE(Quarlink::underlyingError(failed.back().error()).is<Quarlink::RemoteError>());
    EXPECT_EQ(nlohmann::json::parse(lastRequest().body)["file_ids"], nlohmann::json::array({ 4242 }));

    answer("POST", "files/deleter", R"({"data":{"success":[],"errors":[]}})");
    EXPECT_TRUE(run(m_adapter->syncDelete(item)).back().isCompleted());
    answer("POST", "files/deleter", R"({"data":{"success":[4242],"errors":[{"code":1004,"message":"andere"}]}})");
    EXPECT_TRUE(run(m_adapter->syncDelete(item)).back().isCompleted());
}

TEST_F(SyncAdapterTests, AMoveThatMovedNothingFailsAndOnlyTheFirstMovedFileIsYielded)
{
    // An empty moved list is filesNotMoved.
    auto item = std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields { .syncFileID = 4242, .path = "/F/x.txt",
        .fileName = "x.txt", .syncParentID = Sync::SyncFileID::remote(rootID()) });
    answer("POST", "files/mover", R"({"data":{"success":[],"errors":[4242]}})");
    auto events = run(m_adapter->syncMove(item));
    ASSERT_TRUE(events.back().isFailed());
    EXPECT_TRUE(Quarlink::RemoteError::matches(Quarlink::underlyingError(events.back().error()), Quarlink::RemoteError::Case::filesNotMoved));
}
