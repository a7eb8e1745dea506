#include "Orvella/AppModule/Tests/AppModuleFixture.hpp"

#include "Orvella/Service/APIClientManager.hpp"
#include "Sync/Schedule/SyncScheduler.hpp"
#include "Sync/Status/FileSyncStatusStore.hpp"
#include "Sync/Store/FileStore.hpp"

using namespace Orvella;
using namespace Orvella::Testing;

namespace {

class AppModuleSyncTests : public AppModuleFixture {
protected:
    Platform::URL cloudFolderURL() const { return Platform::URL::fileURL(cloudFolder().string(), Platform::URL::IsDirectory::Yes); }

    // Points the settings at the test's cloud folder with sync on, as the preferences would.
    void useCloudFolder()
    {
        std::filesystem::create_directories(cloudFolder());
        auto settings = resolved<SettingsManager>();
        settings->cloudFolderURL().set(cloudFolderURL());
        settings->isSyncEnabled().set(true);
        drainMainQueue();
    }

    // The login window's part: a login through the manager, as the user would make it.
    void logIn()
    {
        auto events = Quarlink::Testing::run(resolved<APIManager>()->login(m_credentials));
        ASSERT_FALSE(events.empty());
        ASSERT_TRUE(events.back().isCompleted()) << (events.back().isFailed() ? events.back().error().description() : "");
    }

    bool remoteHas(const std::string& path, const std::string& content)
    {
        auto files = m_server->files().children(m_credentials.username, std::nullopt, true);
        if (!files)
            return false;
        for (const auto& file : *files) {
            if (file.path == path)
                return readFile(m_server->storedContentPath(file.record.id)) == content;
        }
        return false;
    }
};

} // namespace

TEST_F(AppModuleSyncTests, ALoginSyncsTheCloudFolderDownAndUpThroughTheResolvedScheduler)
{
    // A file on the service arrives in the empty cloud folder after the login, and a file made there afterwards reaches the service.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Berichte/" }, { "/Berichte/Q3.txt", "vom Dienst" } }));
    buildContainer();
    useCloudFolder();
    auto scheduler = resolved<Sync::SyncScheduler>();
    ASSERT_TRUE(scheduler);
    logIn();

    const auto downloaded = cloudFolder() / "Berichte" / "Q3.txt";
    ASSERT_TRUE(pumpUntil([&] { return std::filesystem::exists(downloaded) && readFile(downloaded) == "vom Dienst"; }));

    writeFile(cloudFolder() / "Neu.txt", "vom Rechner");
    EXPECT_TRUE(pumpUntil([&] { return remoteHas("/Neu.txt", "vom Rechner"); }));
    EXPECT_TRUE(pumpUntil([&] { return scheduler->status().value().kind() == Sync::SyncStatus::Kind::allInSync; }));
}

TEST_F(AppModuleSyncTests, WritingTheUserNameOrTheCloudFolderEmptiesBothStores)
{
    // After a sync, the same user name written again empties the file store and the statuses; so does choosing the same folder again.
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Q3.txt", "vom Dienst" } }));
    buildContainer();
    useCloudFolder();
    auto scheduler = resolved<Sync::SyncScheduler>();
    logIn();
    const auto downloaded = cloudFolder() / "Q3.txt";
    const auto fileURL = Platform::URL::fileURL(downloaded.string());
    auto store = resolved<Sync::FileStore>();
    auto statuses = resolved<Sync::FileSyncStatusStore>();
    ASSERT_TRUE(pumpUntil([&] { return statuses->status(fileURL) == Sync::FileSyncStatus::upToDate; }));
    auto settings = resolved<SettingsManager>();
    // No poll may fill the stores again while the test looks at them.
    settings->isSyncEnabled().set(false);
    ASSERT_TRUE(pumpUntil([&] { return !scheduler->syncAction().isExecuting().value(); }));

    auto files = store->loadFiles();
    ASSERT_TRUE(files && !files->empty());
    settings->lastLoggedInUserName().set(settings->lastLoggedInUserName().value());
    EXPECT_TRUE(store->loadFiles()->empty());
    EXPECT_EQ(statuses->status(fileURL), Sync::FileSyncStatus::unknown);

    ASSERT_TRUE(store->add(*files->front()));
    ASSERT_TRUE(statuses->mark(*files, Sync::FileSyncStatus::syncing, cloudFolderURL()));
    ASSERT_EQ(statuses->status(fileURL), Sync::FileSyncStatus::syncing);
    settings->cloudFolderURL().set(cloudFolderURL());
    EXPECT_TRUE(store->loadFiles()->empty());
    EXPECT_EQ(statuses->status(fileURL), Sync::FileSyncStatus::unknown);
}

TEST_F(AppModuleSyncTests, FilesLeftInErrorReadUpToDateWhenTheContainerIsBuiltAgain)
{
    // Statuses in the shared database survive the process; only error ones are reset, once, when the status store is made.
    buildContainer();
    useCloudFolder();
    const auto broken = Platform::URL::fileURL((cloudFolder() / "kaputt.txt").string());
    const auto syncing = Platform::URL::fileURL((cloudFolder() / "laeuft.txt").string());
    auto statuses = resolved<Sync::FileSyncStatusStore>();
    ASSERT_TRUE(statuses->setStatus(broken, Sync::FileSyncStatus::error));
    ASSERT_TRUE(statuses->setStatus(syncing, Sync::FileSyncStatus::syncing));
    statuses.reset();

    buildContainer();
    statuses = resolved<Sync::FileSyncStatusStore>();
    EXPECT_EQ(statuses->status(broken), Sync::FileSyncStatus::upToDate);
    EXPECT_EQ(statuses->status(syncing), Sync::FileSyncStatus::syncing);
    ASSERT_TRUE(statuses->setStatus(broken, Sync::FileSyncStatus::error));
    EXPECT_EQ(resolved<Sync::FileSyncStatusStore>()->status(broken), Sync::FileSyncStatus::error);
}
