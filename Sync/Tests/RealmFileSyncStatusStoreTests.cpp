#include "Sync/Status/RealmFileSyncStatusStore.hpp"

#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Sync/Status/FileStatus.hpp"
#include "StoreTestSupport.hpp"
#include "TestFiles.hpp"

#include <gtest/gtest.h>

#include <future>

using namespace Sync;
using namespace Sync::Testing;

namespace {

class RealmFileSyncStatusStoreTests : public ::testing::Test {
protected:
    std::shared_ptr<Reactive::QueueScheduler> m_scheduler = Reactive::QueueScheduler::make("Test.Status");
    TemporaryDatabase m_database;
    RealmFileSyncStatusStore m_store { m_database.factory(), m_scheduler };
    Platform::URL m_cloud = Platform::URL::fileURL("/home/nutzer/Cloud", Platform::URL::IsDirectory::Yes);

    Platform::URL url(const std::string& relativePath) const
    {
        return Platform::URL::fileURL("/home/nutzer/Cloud" + relativePath);
    }

    void storeRaw(const std::string& filePath, std::int64_t status)
    {
        auto database = m_database.open();
        ASSERT_TRUE(database.write([&] { return database.add(FileStatus { filePath, status }); }));
    }

    // Waits until every task queued on the delivery scheduler so far has run.
    void drainScheduler()
    {
        std::promise<void> drained;
        m_scheduler->schedule([&] { drained.set_value(); });
        ASSERT_EQ(drained.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    }
};

} // namespace

TEST(FileSyncStatusTests, rawValuesAndKeys)
{
    // Raw values 0 to 3 map to the four statuses and nothing else does; URLs of one path share one key in NFC.
    EXPECT_EQ(fileSyncStatus(2), FileSyncStatus::error);
    EXPECT_EQ(fileSyncStatus(4), std::nullopt);
    EXPECT_EQ(fileSyncStatus(-1), std::nullopt);
    EXPECT_EQ(debugDescription(FileSyncStatus::unknown), "3");

    auto plain = realmIdentifierPath(Platform::URL::fileURL("/home/u/Cloud/Caf\xC3\xA9"));
    EXPECT_EQ(plain, "/home/u/Cloud/Caf\xC3\xA9");
    EXPECT_EQ(realmIdentifierPath(Platform::URL::fileURL("/home/u/Cloud/./Cafe\xCC\x81")), plain);
    EXPECT_EQ(realmIdentifierPath(Platform::URL::fileURL("/home/u/Cloud/x/../Caf\xC3\xA9", Platform::URL::IsDirectory::Yes)), plain);
    EXPECT_EQ(realmIdentifierPath(Platform::URL::fileURL("/", Platform::URL::IsDirectory::Yes)), "/");
}

TEST_F(RealmFileSyncStatusStoreTests, rowsByPathAndTheirStatuses)
{
    // A URL without a row reads unknown, equivalent URLs share one row, removal brings unknown back, and a stored 7 reads unknown.
    EXPECT_EQ(m_store.status(url("/a.txt")), FileSyncStatus::unknown);
    m_store.mark(*makeFile(1, "/Caf\xC3\xA9.txt", 0), FileSyncStatus::error, m_cloud);
    EXPECT_EQ(m_store.status(Platform::URL::fileURL("/home/nutzer/Cloud/./Cafe\xCC\x81.txt")), FileSyncStatus::error);
    m_store.setStatus(url("/Cafe\xCC\x81.txt"), FileSyncStatus::upToDate);
    EXPECT_EQ(m_store.status(url("/Caf\xC3\xA9.txt")), FileSyncStatus::upToDate);
    EXPECT_EQ(*m_database.open().count<FileStatus>(), 1);

    m_store.remove(url("/Caf\xC3\xA9.txt"));
    EXPECT_EQ(m_store.status(url("/Caf\xC3\xA9.txt")), FileSyncStatus::unknown);

    m_store.setStatus(url("/b.txt"), FileSyncStatus::syncing);
    m_store.remove(*makeFile(2, "/b.txt", 0), m_cloud);
    EXPECT_EQ(m_store.status(url("/b.txt")), FileSyncStatus::unknown);

    storeRaw("/home/nutzer/Cloud/seven", 7);
    EXPECT_EQ(m_store.status(url("/seven")), FileSyncStatus::unknown);
    m_store.modifyStatus(url("/seven"), [](FileSyncStatus& status) {
        EXPECT_EQ(status, FileSyncStatus::unknown);
        status = FileSyncStatus::error;
    });
    EXPECT_EQ(m_store.status(url("/seven")), FileSyncStatus::error);
}

TEST_F(RealmFileSyncStatusStoreTests, folderReadsSyncingOnlyForItsOwnSyncingContents)
{
    // An up-to-date folder reads syncing while a row below "folder/" is syncing, not for a syncing sibling "ab", another letter case or a wildcard name.
    for (auto path : { "/a", "/ab", "/A", "/%", "/%x", "/_" })
        m_store.setStatus(url(path), FileSyncStatus::upToDate);
    m_store.mark(std::vector<FileRef> { makeFile(1, "/ab", 0), makeFile(2, "/A/x", 0), makeFile(3, "/%x", 0),
                     makeFile(4, "/ax", 0) },
        FileSyncStatus::syncing, m_cloud);
    EXPECT_EQ(m_store.status(url("/a")), FileSyncStatus::upToDate);
    EXPECT_EQ(m_store.status(url("/%")), FileSyncStatus::upToDate);
    EXPECT_EQ(m_store.status(url("/_")), FileSyncStatus::upToDate);
    EXPECT_EQ(m_store.status(url("/A")), FileSyncStatus::syncing);

    m_store.mark(*makeFile(5, "/a/deep/x.txt", 0), FileSyncStatus::syncing, m_cloud);
    EXPECT_EQ(m_store.status(url("/a")), FileSyncStatus::syncing);
    EXPECT_EQ(m_store.status(m_cloud), FileSyncStatus::unknown) << "the cloud folder has no row of its own";
    m_store.setStatus(m_cloud, FileSyncStatus::upToDate);
    EXPECT_EQ(m_store.status(m_cloud), FileSyncStatus::syncing);
}

TEST_F(RealmFileSyncStatusStoreTests, bulkChangesTouchOnlyWhatTheySay)
{
    // removeAll(syncing) resets syncing rows and leaves error rows; marking no files opens nothing; clean keeps tracked URLs.
    m_store.mark(std::vector<FileRef> { makeFile(1, "/s1", 0), makeFile(2, "/s2", 0) }, FileSyncStatus::syncing, m_cloud);
    m_store.mark(*makeFile(3, "/e", 0), FileSyncStatus::error, m_cloud);
    EXPECT_TRUE(m_store.hasSyncingFiles());

    m_store.removeAll(FileSyncStatus::syncing);
    EXPECT_FALSE(m_store.hasSyncingFiles());
    EXPECT_EQ(m_store.status(url("/s1")), FileSyncStatus::upToDate);
    EXPECT_EQ(m_store.status(url("/e")), FileSyncStatus::error);

    int calls = m_database.factoryCalls();
    m_store.mark(std::vector<FileRef> {}, FileSyncStatus::syncing, m_cloud);
    EXPECT_EQ(m_database.factoryCalls(), calls);

    m_store.setTrackedURLs({ url("/e") });
    m_store.clean();
    EXPECT_EQ(m_store.status(url("/e")), FileSyncStatus::unknown);
    EXPECT_EQ(m_store.trackedURLs().size(), 1u);
}

TEST_F(RealmFileSyncStatusStoreTests, statusProducerReportsTrackedRowsAfterEachCommit)
{
    // The stream sends nothing until a commit, then only tracked items that have rows, keyed by the tracked URL, with folders reading their contents.
    m_store.setStatus(url("/folder"), FileSyncStatus::upToDate);
    m_store.setStatus(url("/untracked"), FileSyncStatus::error);
    auto folderURL = Platform::URL::fileURL("/home/nutzer/Cloud/folder", Platform::URL::IsDirectory::Yes);
    m_store.setTrackedURLs({ folderURL, url("/untracked-without-row") });
    m_store.modifyTrackedURLs([&](auto& urls) { urls.insert(url("/file")); });

    Recorder<FileSyncStatuses> statuses;
    auto disposable = m_store.statusProducer().startWithValues([&](const FileSyncStatuses& value) { statuses.record(value); });
    drainScheduler();
    EXPECT_TRUE(statuses.values().empty());

    m_store.mark(*makeFile(1, "/folder/inner.txt", 0), FileSyncStatus::syncing, m_cloud);
    ASSERT_TRUE(statuses.waitUntil([](const auto& values) { return !values.empty(); }));
    auto first = statuses.values().back();
    EXPECT_EQ(first.size(), 1u);
    EXPECT_EQ(first[folderURL], FileSyncStatus::syncing);

    m_store.mark(*makeFile(1, "/folder/inner.txt", 0), FileSyncStatus::upToDate, m_cloud);
    m_store.setStatus(url("/file"), FileSyncStatus::error);
    ASSERT_TRUE(statuses.waitUntil([&](const auto& values) {
        const auto& last = values.back();
        return last.size() == 2 && last.at(folderURL) == FileSyncStatus::upToDate && last.count(url("/file"))
            && last.at(url("/file")) == FileSyncStatus::error;
    }));
    disposable.dispose();
}
