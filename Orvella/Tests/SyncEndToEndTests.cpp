// The sync engine on a real cloud folder, SQLite stores and extended
// attributes, through the API client manager and the URL-session client over
// HTTP to the local service.

#include "Orvella/Tests/ServiceFixture.hpp"
#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Platform/FileSystem/DirectoryEnumerator.hpp"
#include "Platform/FileSystem/ExtendedAttributes.hpp"
#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/Uploads/UploadOperations.hpp"
#include "Quarlink/Requests/SessionRefresher.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Unpacked.hpp"
#include "Sync/TestSupport/TestCloud.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using namespace Orvella;
using namespace Orvella::Testing;
using Quarlink::Testing::run;
using Platform::Testing::readFile;
using Platform::Testing::writeFile;

namespace {

class SyncEndToEndTests : public ServiceFixture {
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        m_cloudFolder = m_directory / "Cloud";
        std::filesystem::create_directory(m_cloudFolder);
        m_ownChanges = Platform::OwnChangeRegistry::create();
        m_manager = makeManager(client());
        m_refresher = std::make_shared<DelegateRefresher>(m_manager, m_holder);
        Quarlink::setSessionRefresher(*client(), m_refresher);
        serveCustomer();
        ASSERT_TRUE(run(m_manager->login({ "anna", m_credentials.password })).back().isCompleted());

        m_storeScheduler = Reactive::QueueScheduler::make("SyncEndToEnd.stores");
        m_configuration = std::make_shared<Sync::Testing::TestFolderConfiguration>(
            Platform::URL::fileURL(m_cloudFolder.string(), Platform::URL::IsDirectory::Yes));
        auto factory = Platform::Database::factory(Sync::cloudDatabaseConfiguration(m_directory / "Cloud.db"));
        m_fileStore = std::make_shared<Sync::RealmFileStore>(factory, m_storeScheduler);
        m_statusStore = std::make_shared<Sync::RealmFileSyncStatusStore>(factory, m_storeScheduler);
        m_references = std::make_shared<Sync::ExtendedAttributeFileReferenceMapping>(m_fileStore,
            Platform::ExtendedAttributes::system(), m_ownChanges);
        auto diskStore = std::make_shared<Sync::FileSystemFileStore>(m_configuration, m_ownChanges);
        m_adapter = makeAdapter(m_manager);
        m_engine = std::make_shared<Sync::SyncManager>(m_adapter, *diskStore, m_fileStore, m_references, m_statusStore);
    }

    void TearDown() override
    {
        m_engine.reset();
        // A finished run lets go of the adapter on the client's own delivery
        // thread; the client must not be destroyed there.
        EXPECT_TRUE(Platform::Testing::waitUntil([&] { return m_adapter.use_count() == 1; }));
        m_adapter.reset();
        if (auto client = this->client())
            Quarlink::setSessionRefresher(*client, nullptr);
        ServiceFixture::TearDown();
    }

    // One run; the test fails on an error event or a run that does not end.
    std::vector<Sync::SyncEventPair> sync()
    {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<Sync::SyncEventPair> events;
        bool ended = false;
        auto started = m_engine->performSync().start(
            Reactive::Observer<Sync::SyncEventPair, Reactive::NoError>::make([&](Reactive::Event<Sync::SyncEventPair, Reactive::NoError>&& event) {
                std::lock_guard lock(mutex);
                if (event.isValue())
                    events.push_back(std::move(event).value());
                else
                    ended = true;
                changed.notify_all();
            }));
        std::unique_lock lock(mutex);
        EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return ended; })) << "the run did not end";
        return events;
    }

    static std::size_t errorCount(const std::vector<Sync::SyncEventPair>& events)
    {
        return static_cast<std::size_t>(std::ranges::count_if(events, [](const auto& pair) { return pair.first.isError(); }));
    }

    void syncCleanly()
    {
        auto events = sync();
        for (const auto& [event, change] : events) {
            if (event.isError())
                ADD_FAILURE() << change.description() << ": " << event.error()->description();
        }
    }

    // A second run finds nothing to do: no request changes the service and the disk stays as it is.
    void expectIdleRun()
    {
        auto disk = diskPaths();
        auto before = m_server->requestLog().size();
        syncCleanly();
        auto log = m_server->requestLog();
        for (auto index = before; index < log.size(); ++index)
            EXPECT_EQ(log[index].method, "GET") << log[index].path << " " << log[index].body;
        EXPECT_EQ(diskPaths(), disk);
    }

    std::vector<std::string> diskPaths() const
    {
        std::vector<std::string> paths;
        auto enumerator = Platform::DirectoryEnumerator::open(m_cloudFolder.string());
        if (!enumerator)
            return paths;
        while (auto entry = enumerator->next()) {
            // The engine's own staging folder is no part of the synced tree.
            if (entry->depth == 1 && Sync::FileSystemFileStore::isStagingName(entry->name)) {
                enumerator->skipDescendants();
                continue;
            }
            paths.push_back(entry->relativePath + (entry->status.isDirectory() ? "/" : ""));
        }
        std::ranges::sort(paths);
        return paths;
    }

    std::map<std::string, Sync::FileRef> remoteFiles()
    {
        std::map<std::string, Sync::FileRef> byPath;
        auto events = run(m_adapter->syncRemoteFiles());
        for (const auto& file : events.front().value())
            byPath[file->path()] = file;
        return byPath;
    }

    std::set<std::string> remotePaths()
    {
        std::set<std::string> paths;
        for (const auto& [path, file] : remoteFiles())
            paths.insert(path);
        return paths;
    }

    std::string remoteContent(const std::string& path)
    {
        auto file = remoteFiles().at(path);
        return readFile(m_server->storedContentPath(*file->syncFileID().remoteID()).string());
    }

    std::set<std::string> storedPaths() const
    {
        std::set<std::string> paths;
        for (const auto& file : m_fileStore->files())
            paths.insert(file->path());
        return paths;
    }

    Sync::FileSyncStatus status(const std::string& path) const
    {
        return m_statusStore->status(Platform::URL::fileURL((m_cloudFolder / path.substr(1)).string()));
    }

    std::string local(const std::string& path) const { return (m_cloudFolder / path.substr(1)).string(); }

    Platform::Testing::TemporaryDirectory m_root;
    std::filesystem::path m_directory { m_root.path() };
    std::filesystem::path m_cloudFolder;
    std::shared_ptr<Platform::OwnChangeRegistry> m_ownChanges;
    std::shared_ptr<SyncAPIClientAdapter> m_adapter;
    std::shared_ptr<DelegateRefresher> m_refresher;
    std::shared_ptr<Reactive::QueueScheduler> m_storeScheduler;
    std::shared_ptr<Sync::Testing::TestFolderConfiguration> m_configuration;
    std::shared_ptr<Sync::RealmFileStore> m_fileStore;
    std::shared_ptr<Sync::RealmFileSyncStatusStore> m_statusStore;
    std::shared_ptr<Sync::ExtendedAttributeFileReferenceMapping> m_references;
    std::shared_ptr<Sync::SyncManager> m_engine;
};

} // namespace

TEST_F(SyncEndToEndTests, ANestedTreeComesDownThenLocalWorkGoesUpAndEveryChangeTravelsBothWays)
{
    // First down, then up, then edits, renames, moves (a folder with contents) and deletes on each side.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username,
        { { "/Docs/" }, { "/Docs/Sub/" }, { "/Docs/Sub/a.txt", "alpha" }, { "/b.txt", "beta" } }).has_value());
    syncCleanly();
    EXPECT_EQ(diskPaths(), (std::vector<std::string> { "/Docs/", "/Docs/Sub/", "/Docs/Sub/a.txt", "/b.txt" }));
    EXPECT_EQ(readFile(local("/Docs/Sub/a.txt")), "alpha");
    EXPECT_EQ(storedPaths(), (std::set<std::string> { "/Docs/", "/Docs/Sub/", "/Docs/Sub/a.txt", "/b.txt" }));
    EXPECT_EQ(status("/Docs/Sub/a.txt"), Sync::FileSyncStatus::upToDate);
    expectIdleRun();

    // Up: a new folder with a file.
    std::filesystem::create_directory(local("/Up"));
    writeFile(local("/Up/new.txt"), "neu");
    syncCleanly();
    EXPECT_TRUE(remotePaths().contains("/Up/"));
    EXPECT_EQ(remoteContent("/Up/new.txt"), "neu");
    EXPECT_EQ(status("/Up/new.txt"), Sync::FileSyncStatus::upToDate);
    expectIdleRun();

    // Local edit, rename, folder move with contents, delete.
    writeFile(local("/b.txt"), "beta, geändert");
    syncCleanly();
    EXPECT_EQ(remoteContent("/b.txt"), "beta, geändert");
    ASSERT_TRUE(Platform::moveItem(local("/b.txt"), local("/c.txt")));
    ASSERT_TRUE(Platform::moveItem(local("/Docs/Sub"), local("/Up/Sub")));
    ASSERT_TRUE(Platform::removeItem(local("/Up/new.txt")));
    syncCleanly();
    auto afterLocal = remotePaths();
    EXPECT_EQ(afterLocal, (std::set<std::string> { "/Docs/", "/Up/", "/Up/Sub/", "/Up/Sub/a.txt", "/c.txt" }));
    EXPECT_EQ(remoteContent("/Up/Sub/a.txt"), "alpha");
    expectIdleRun();

    // Remote edit, rename, folder move with contents, delete.
    auto remote = remoteFiles();
    auto client = this->client();
    writeFile((m_directory / "upload.txt").string(), "gamma");
    ASSERT_TRUE(run(Quarlink::overwrite(client, *remote.at("/c.txt")->syncFileID().remoteID(), m_server->rootIdentifier(m_credentials.username),
                        Platform::URL::fileURL((m_directory / "upload.txt").string())))
                    .back()
                    .isCompleted());
    syncCleanly();
    EXPECT_EQ(readFile(local("/c.txt")), "gamma");
    ASSERT_TRUE(run(Quarlink::rename(client, *remote.at("/c.txt")->syncFileID().remoteID(), "d.txt")).back().isCompleted());
    ASSERT_TRUE(run(Quarlink::move(client, *remote.at("/Up/Sub/")->syncFileID().remoteID(), *remote.at("/Docs/")->syncFileID().remoteID()))
                    .back()
                    .isCompleted());
    ASSERT_TRUE(run(Quarlink::delete_(client, *remote.at("/Up/")->syncFileID().remoteID())).back().isCompleted());
    syncCleanly();
    EXPECT_EQ(diskPaths(), (std::vector<std::string> { "/Docs/", "/Docs/Sub/", "/Docs/Sub/a.txt", "/d.txt" }));
    EXPECT_EQ(readFile(local("/d.txt")), "gamma");
    EXPECT_EQ(readFile(local("/Docs/Sub/a.txt")), "alpha");
    EXPECT_EQ(storedPaths(), (std::set<std::string> { "/Docs/", "/Docs/Sub/", "/Docs/Sub/a.txt", "/d.txt" }));
    EXPECT_EQ(status("/d.txt"), Sync::FileSyncStatus::upToDate);
    expectIdleRun();
}

// A client that calls a second without a byte a stall, against a service
// that takes longer than that to store an upload before it answers.
class SlowAnswerSyncTests : public SyncEndToEndTests {
protected:
    void SetUp() override
    {
        m_idleTimeout = std::chrono::seconds(1);
        SyncEndToEndTests::SetUp();
    }
};

TEST_F(SlowAnswerSyncTests, AnUploadTheServiceAnswersLateIsRecordedAsUploadedAndNeverComesBack)
{
    // The service answers a new upload and new content 3 s after the body arrived; both runs end without an error,
    // the record holds the service's hash, and the next runs neither upload nor download anything.
    m_server->delayAnswers("PUT", R"(/v2\.0/files/\d+/stream)", std::chrono::seconds(3));
    std::string content(2 << 20, 'x');
    writeFile(local("/big.bin"), content);
    syncCleanly();
    EXPECT_EQ(remoteContent("/big.bin"), content);
    EXPECT_EQ(status("/big.bin"), Sync::FileSyncStatus::upToDate);
    expectIdleRun();

    content.replace(0, 4, "neu!");
    writeFile(local("/big.bin"), content);
    syncCleanly();
    EXPECT_EQ(remoteContent("/big.bin"), content);
    expectIdleRun();
    auto log = m_server->requestLog();
    EXPECT_EQ(std::ranges::count_if(log, [](const auto& request) { return request.path.ends_with("/download"); }), 0);
    EXPECT_EQ(std::ranges::count_if(log, [](const auto& request) { return request.path.ends_with("/stream"); }), 2);
}

TEST_F(SyncEndToEndTests, AListingEntryWithATraversalPathTouchesNothing)
{
    // The service lists items whose paths climb out of the cloud folder: nothing is written anywhere for them.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/a.txt", "alpha" } }).has_value());
    syncCleanly();
    auto listing = run(client()->dataProducer(
        Platform::URLRequest { .url = m_server->baseURL() + "/files?depth=-1" }, Quarlink::QueuePriority::normal));
    ASSERT_TRUE(listing.back().isCompleted());
    auto body = nlohmann::json::parse(listing.front().value().data.toString());
    auto entry = body["data"][0];
    for (const char* path : { "/../evil.txt", "/x/../../evil2.txt" }) {
        auto evil = entry;
        evil["id"] = entry["id"].get<std::int64_t>() + 1000 + body["data"].size();
        evil["path"] = path;
        evil["name"] = std::string(path).substr(std::string(path).rfind('/') + 1);
        body["data"].push_back(evil);
    }
    m_server->script("GET", "/v2.0/files", { .status = 200, .body = body.dump() }, 1);
    sync();
    EXPECT_EQ(diskPaths(), (std::vector<std::string> { "/a.txt" }));
    EXPECT_FALSE(Platform::Testing::exists((m_directory / "evil.txt").string()));
    EXPECT_FALSE(Platform::Testing::exists((m_directory / "evil2.txt").string()));
    EXPECT_EQ(readFile(local("/a.txt")), "alpha");
}

TEST_F(SyncEndToEndTests, ASessionExpiredMidRunIsRenewedOnceThroughTheManager)
{
    // The service forgets every session; the next run's first request is refused, one re-login follows, the run completes.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/a.txt", "alpha" } }).has_value());
    syncCleanly();
    auto logins = successfulLogins();
    m_server->accounts().expireSessions();
    writeFile(local("/b.txt"), "beta");
    syncCleanly();
    EXPECT_EQ(m_refresher->executions, 1);
    EXPECT_EQ(successfulLogins(), logins + 1);
    EXPECT_EQ(remoteContent("/b.txt"), "beta");
    EXPECT_TRUE(m_manager->isLoggedIn().value());
    expectIdleRun();
}

TEST_F(SyncEndToEndTests, WhatAKilledDownloadLeftIsRemovedAtTheNextRunAndNeverUploaded)
{
    // A staged partial file in the engine's staging folder, as a process killed mid-download leaves it, is no user file.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Docs/" }, { "/Docs/a.txt", "alpha" } }).has_value());
    syncCleanly();
    auto leftover = local("/" + std::string(Sync::FileSystemFileStore::stagingFolderName) + "/"
        + std::string(Sync::FileSystemFileStore::stagedDownloadPrefix) + "0123");
    writeFile(leftover, "halb");
    syncCleanly();
    EXPECT_FALSE(Platform::Testing::exists(leftover));
    EXPECT_EQ(remotePaths(), (std::set<std::string> { "/Docs/", "/Docs/a.txt" }));
    expectIdleRun();
}

TEST_F(SyncEndToEndTests, AServerRenameWithNewContentBringsTheNewContentDownByTheSecondRun)
{
    // The first run carries out the move, the second brings the new content; the old content never goes up over it.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/c.txt", "alt" } }).has_value());
    syncCleanly();
    auto id = *remoteFiles().at("/c.txt")->syncFileID().remoteID();
    writeFile((m_directory / "upload.txt").string(), "neu");
    ASSERT_TRUE(run(Quarlink::overwrite(client(), id, m_server->rootIdentifier(m_credentials.username),
                        Platform::URL::fileURL((m_directory / "upload.txt").string())))
                    .back()
                    .isCompleted());
    ASSERT_TRUE(run(Quarlink::rename(client(), id, "d.txt")).back().isCompleted());
    syncCleanly();
    EXPECT_FALSE(std::filesystem::exists(local("/c.txt")));
    EXPECT_EQ(remoteContent("/d.txt"), "neu");
    syncCleanly();
    EXPECT_EQ(readFile(local("/d.txt")), "neu");
    expectIdleRun();
    EXPECT_EQ(remoteContent("/d.txt"), "neu");
}

TEST_F(SyncEndToEndTests, ANameCreatedOnBothSidesConvergesInOneRunWithBothContents)
{
    // The service keeps this side's file under a name of its own; the engine moves the local file there and brings the other one down.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Docs/" } }).has_value());
    syncCleanly();
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Docs/Plan.txt", "von dort" } }).has_value());
    writeFile(local("/Docs/Plan.txt"), "von hier");
    syncCleanly();
    EXPECT_EQ(diskPaths(), (std::vector<std::string> { "/Docs/", "/Docs/Plan (1).txt", "/Docs/Plan.txt" }));
    EXPECT_EQ(readFile(local("/Docs/Plan.txt")), "von dort");
    EXPECT_EQ(readFile(local("/Docs/Plan (1).txt")), "von hier");
    EXPECT_EQ(remoteContent("/Docs/Plan.txt"), "von dort");
    EXPECT_EQ(remoteContent("/Docs/Plan (1).txt"), "von hier");
    EXPECT_EQ(storedPaths(), (std::set<std::string> { "/Docs/", "/Docs/Plan (1).txt", "/Docs/Plan.txt" }));
    EXPECT_EQ(status("/Docs/Plan (1).txt"), Sync::FileSyncStatus::upToDate);
    EXPECT_EQ(status("/Docs/Plan.txt"), Sync::FileSyncStatus::upToDate);
    expectIdleRun();
}

TEST_F(SyncEndToEndTests, ItemsReplacedOnDiskByTheOtherKindConvergeWithNothingLost)
{
    // A folder replaced here by a file of its name, and a file by a folder of
    // its name with work in it: within two runs the service holds what the
    // disk holds, and a third run has nothing to do.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username,
        { { "/D/" }, { "/D/a.txt", "alpha" }, { "/D/Sub/" }, { "/D/Sub/b.txt", "beta" }, { "/f.txt", "eff" } }).has_value());
    syncCleanly();
    ASSERT_TRUE(Platform::removeItem(local("/D")));
    writeFile(local("/D"), "now a file");
    ASSERT_TRUE(Platform::removeItem(local("/f.txt")));
    std::filesystem::create_directory(local("/f.txt"));
    writeFile(local("/f.txt/inside.txt"), "my work");

    syncCleanly();
    syncCleanly();

    EXPECT_EQ(remotePaths(), (std::set<std::string> { "/D", "/f.txt/", "/f.txt/inside.txt" }));
    EXPECT_EQ(remoteContent("/D"), "now a file");
    EXPECT_EQ(remoteContent("/f.txt/inside.txt"), "my work");
    EXPECT_EQ(diskPaths(), (std::vector<std::string> { "/D", "/f.txt/", "/f.txt/inside.txt" }));
    EXPECT_EQ(readFile(local("/D")), "now a file");
    EXPECT_EQ(readFile(local("/f.txt/inside.txt")), "my work");
    EXPECT_EQ(storedPaths(), (std::set<std::string> { "/D", "/f.txt/", "/f.txt/inside.txt" }));
    expectIdleRun();
}

TEST_F(SyncEndToEndTests, AnIdleRunAsksOnlyTheRootEtagYetEveryChangeOfAnotherClientComesDown)
{
    // While the root etag is the one of the listing the stored state came from, no run fetches the listing again;
    // each kind of change made elsewhere gives the root a new etag, and the next run lists and carries it out
    // (after a delete, the run after it lists once more).
    ASSERT_TRUE(m_server->seedTree(m_credentials.username,
        { { "/Docs/" }, { "/Docs/a.txt", "alpha" }, { "/Old/" }, { "/b.txt", "beta" }, { "/c.txt", "gamma" } })
                    .has_value());
    syncCleanly();
    auto listings = [&] {
        auto log = m_server->requestLog();
        return std::ranges::count_if(log, [](const auto& request) { return request.method == "GET" && request.path == "/v2.0/files"; });
    };
    auto idleWithoutListing = [&] {
        auto before = listings();
        expectIdleRun();
        EXPECT_EQ(listings(), before) << "an idle run fetched the listing";
    };
    auto listedOnce = [&](const std::function<void()>& change) {
        auto before = listings();
        change();
        syncCleanly();
        EXPECT_EQ(listings(), before + 1);
        idleWithoutListing();
    };
    idleWithoutListing();
    auto remote = remoteFiles();
    auto id = [&](const std::string& path) { return *remote.at(path)->syncFileID().remoteID(); };
    const auto& account = m_credentials.username;

    listedOnce([&] {
        writeFile((m_directory / "upload.txt").string(), "beta, neu");
        ASSERT_TRUE(run(Quarlink::overwrite(client(), id("/b.txt"), m_server->rootIdentifier(account),
                            Platform::URL::fileURL((m_directory / "upload.txt").string())))
                        .back()
                        .isCompleted());
    });
    EXPECT_EQ(readFile(local("/b.txt")), "beta, neu");
    listedOnce([&] { ASSERT_TRUE(m_server->files().rename(account, id("/c.txt"), "d.txt").has_value()); });
    EXPECT_EQ(readFile(local("/d.txt")), "gamma");
    listedOnce([&] { ASSERT_TRUE(m_server->files().move(account, { id("/Docs/a.txt") }, id("/Old/")).moved.size() == 1); });
    EXPECT_EQ(readFile(local("/Old/a.txt")), "alpha");
    {
        // A listing that deleted here may have been short: the run after it lists once more, and only then
        // does the skip trust the etag.
        auto before = listings();
        ASSERT_EQ(m_server->files().remove(account, { id("/Docs/") }).deleted.size(), 1u);
        syncCleanly();
        EXPECT_FALSE(std::filesystem::exists(local("/Docs")));
        expectIdleRun();
        EXPECT_EQ(listings(), before + 2);
        idleWithoutListing();
    }
    listedOnce([&] { ASSERT_TRUE(m_server->files().createFolder(account, id("/Old/"), "Neu").has_value()); });
    EXPECT_TRUE(std::filesystem::is_directory(local("/Old/Neu")));
    listedOnce([&] { ASSERT_TRUE(m_server->shares().createPublicLink(account, id("/b.txt"), 7).has_value()); });
    EXPECT_TRUE(m_fileStore->file(Sync::SyncFileID::remote(id("/b.txt")))->hasPublicShare());

    // A local change still goes up while the root etag is unchanged, and the listing after it comes from the server.
    writeFile(local("/Old/a.txt"), "alpha, von hier");
    syncCleanly();
    EXPECT_EQ(remoteContent("/Old/a.txt"), "alpha, von hier");
    idleWithoutListing();
}

TEST_F(SyncEndToEndTests, ARunWhoseDownloadFailedListsAgainUntilTheFileIsThere)
{
    // A listing whose changes were not all carried out is no state to skip from: the next run lists and tries again.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/a.txt", "alpha" } }).has_value());
    syncCleanly();
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/b.txt", "beta" } }).has_value());
    auto id = *remoteFiles().at("/b.txt")->syncFileID().remoteID();
    m_server->script("GET", "/v2.0/files/" + std::to_string(id) + "/download", { .status = 500, .body = "{}" }, 1);
    auto events = sync();
    EXPECT_EQ(errorCount(events), 1u);
    EXPECT_FALSE(std::filesystem::exists(local("/b.txt")));
    syncCleanly();
    EXPECT_EQ(readFile(local("/b.txt")), "beta");
    expectIdleRun();
}

TEST_F(SyncEndToEndTests, AFileChangedHereAndOnTheServiceKeepsBothVersionsAndTheServicesGoesUpWithTheNextRun)
{
    // The local edit replaces the service's version only once that version lies beside it on disk.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Docs/Bericht.txt", "v1" }, { "/Docs/Rest.txt", "v1" } }).has_value());
    syncCleanly();
    auto remote = remoteFiles();
    writeFile((m_directory / "upload.txt").string(), "von dort");
    ASSERT_TRUE(run(Quarlink::overwrite(client(), *remote.at("/Docs/Bericht.txt")->syncFileID().remoteID(),
                        *remote.at("/Docs/")->syncFileID().remoteID(), Platform::URL::fileURL((m_directory / "upload.txt").string())))
                    .back()
                    .isCompleted());
    writeFile(local("/Docs/Bericht.txt"), "von hier");
    syncCleanly();

    EXPECT_EQ(readFile(local("/Docs/Bericht.txt")), "von hier");
    EXPECT_EQ(remoteContent("/Docs/Bericht.txt"), "von hier");
    std::vector<std::string> copies;
    for (const auto& path : diskPaths())
        if (path.starts_with("/Docs/Bericht (Konflikt ") && path.ends_with(").txt"))
            copies.push_back(path);
    ASSERT_EQ(copies.size(), 1u) << ::testing::PrintToString(diskPaths());
    EXPECT_EQ(readFile(local(copies.front())), "von dort");

    syncCleanly();
    EXPECT_EQ(remoteContent(copies.front()), "von dort");
    EXPECT_EQ(remoteContent("/Docs/Bericht.txt"), "von hier");
    EXPECT_EQ(status(copies.front()), Sync::FileSyncStatus::upToDate);
    expectIdleRun();
}

TEST_F(SyncEndToEndTests, AnEditOfAFileTheServiceKeptAsItWasAsksForNoListingOrDownloadOfItsOwn)
{
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/a.txt", "v1" }, { "/b.txt", "v1" } }).has_value());
    syncCleanly();
    writeFile(local("/a.txt"), "neu");
    writeFile(local("/b.txt"), "neu");
    const auto before = m_server->requestLog().size();
    syncCleanly();

    auto log = m_server->requestLog();
    std::vector<std::string> reads;
    for (auto index = before; index < log.size(); ++index)
        if (log[index].method == "GET")
            reads.push_back(log[index].path);
    // The remote phase's listing after the uploads is the only one; nothing comes down.
    EXPECT_EQ(std::ranges::count_if(reads, [](const std::string& path) { return path.ends_with("/download"); }), 0) << ::testing::PrintToString(reads);
    EXPECT_EQ(std::ranges::count(reads, std::string("/v2.0/files")), 1) << ::testing::PrintToString(reads);
    EXPECT_EQ(diskPaths(), (std::vector<std::string> { "/a.txt", "/b.txt" }));
    EXPECT_EQ(remoteContent("/a.txt"), "neu");
    expectIdleRun();
}

TEST_F(SyncEndToEndTests, SessionsEndingEveryTwoRequestsLoseNothingOfManyFilesUpAndDown)
{
    // The service ends each session after two requests while the run sends uploads ahead: every new file goes
    // up, every file new on the service comes down, with the content it had, and the next run carries nothing out.
    m_server->accounts().setSessionPolicy({ .requestLimit = 2 });
    m_server->accounts().expireSessions();
    constexpr int count = 40;
    auto content = [](const std::string& name) { return "Inhalt von " + name; };
    std::set<std::string> up;
    for (int index = 0; index < count; ++index) {
        auto name = "/hoch-" + std::to_string(index) + ".txt";
        writeFile(local(name), content(name));
        up.insert(name);
    }
    syncCleanly();
    auto remote = remoteFiles();
    std::set<std::string> listed;
    for (const auto& [path, file] : remote) {
        listed.insert(path);
        EXPECT_EQ(readFile(m_server->storedContentPath(*file->syncFileID().remoteID()).string()), content(path)) << path;
    }
    EXPECT_EQ(listed, up);

    std::vector<LocalCloud::SeedEntry> seeds;
    std::set<std::string> all = up;
    for (int index = 0; index < count; ++index) {
        auto name = "/runter-" + std::to_string(index) + ".txt";
        seeds.push_back({ name, content(name) });
        all.insert(name);
    }
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, seeds).has_value());
    syncCleanly();
    auto disk = diskPaths();
    EXPECT_EQ(std::set<std::string>(disk.begin(), disk.end()), all);
    for (const auto& path : all)
        EXPECT_EQ(readFile(local(path)), content(path)) << path;
    EXPECT_EQ(storedPaths(), all);
    EXPECT_EQ(status("/runter-7.txt"), Sync::FileSyncStatus::upToDate);
    EXPECT_EQ(status("/hoch-7.txt"), Sync::FileSyncStatus::upToDate);
    // Sessions ran out under the runs many times over.
    EXPECT_GT(m_refresher->executions.load(), count);

    // Nothing is left to carry out: no transfer, no change on the service, the disk as it was.
    const auto before = m_server->requestLog().size();
    syncCleanly();
    auto log = m_server->requestLog();
    for (auto index = before; index < log.size(); ++index)
        EXPECT_TRUE(log[index].method == "GET" || log[index].path == "/v2.0/login") << log[index].method << " " << log[index].path;
    EXPECT_EQ(std::ranges::count_if(log.begin() + static_cast<std::ptrdiff_t>(before), log.end(),
                  [](const auto& request) { return request.path.ends_with("/download"); }),
        0);
    EXPECT_EQ(diskPaths(), disk);
}
