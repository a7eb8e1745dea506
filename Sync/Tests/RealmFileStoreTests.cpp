#include "Sync/Store/RealmFileStore.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Sync/Sharing/PrivateShareInfoItem.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"
#include "Sync/Status/FileStatus.hpp"
#include "Sync/Store/FileWrapper.hpp"
#include "StoreTestSupport.hpp"
#include "TestFiles.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

using namespace Sync;
using namespace Sync::Testing;

namespace {

constexpr std::string_view damagedLine = "Could not create File from fileWrapper data!";

std::shared_ptr<const PublicShareInfo> publicShare(std::int64_t id)
{
    return std::make_shared<PublicShareInfoItem>(id, 7, *Platform::URL::create("https://s.example.org/x"), std::nullopt);
}

std::shared_ptr<const PrivateShareInfo> privateShare(std::string email)
{
    return std::make_shared<PrivateShareInfoItem>(2, 7, false, ShareInfoStatus::Accepted, std::nullopt, email, "a");
}

std::size_t countLines(const Platform::LogCapture& capture, std::string_view text)
{
    auto lines = capture.lines();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

class RealmFileStoreTests : public ::testing::Test {
protected:
    std::shared_ptr<Reactive::QueueScheduler> m_scheduler = Reactive::QueueScheduler::make("Test.Store");
    TemporaryDatabase m_database;
    RealmFileStore m_store { m_database.factory(), m_scheduler };

    std::shared_ptr<FileWrapperItem> stored(std::int64_t id)
    {
        return std::dynamic_pointer_cast<FileWrapperItem>(m_store.file(id));
    }
};

} // namespace

TEST_F(RealmFileStoreTests, localIdsNeverReachTheDatabase)
{
    // A lookup, a removal or a write with a local id calls no factory and stores nothing; the write is logged.
    Platform::LogCapture capture;
    EXPECT_EQ(m_store.file(SyncFileID()), nullptr);
    m_store.setFile(SyncFileID(), nullptr);
    m_store.add(*makeFile(SyncFileID(), "/local.txt", 1));
    m_store.setFile(5, makeFile(SyncFileID(), "/local.txt", 1));
    EXPECT_EQ(m_database.factoryCalls(), 0);
    EXPECT_EQ(countLines(capture, "/local.txt"), 2u);

    // modifyOrCreate whose apply leaves a local-id file writes nothing either.
    m_store.modifyOrCreate(6, [](FileRef& file, auto&, auto&) { file = makeFile(SyncFileID(), "/other.txt", 1); });
    EXPECT_TRUE(m_store.files().empty());
}

TEST_F(RealmFileStoreTests, settingWritesUnderTheValuesOwnIdAndKeepsShareDetails)
{
    // The setter keys the record by the value's id, not the subscript's, and keeps the share details stored under that id.
    m_store.add(*makeFile(1, "/one.txt", 0));
    m_store.modifyOrCreate(2, [](FileRef& file, FileStore::PublicShare& publicInfo, FileStore::PrivateShares& privateInfos) {
        file = makeFile(2, "/two.txt", 0);
        publicInfo = publicShare(11);
        privateInfos = { privateShare("a@example.org") };
    });

    m_store.setFile(1, makeFile(2, "/two-renamed.txt", 0));
    EXPECT_EQ(stored(1)->path(), "/one.txt");
    auto two = stored(2);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->path(), "/two-renamed.txt");
    ASSERT_NE(two->publicShareInfo(), nullptr);
    EXPECT_EQ(*two->publicShareInfo(), *publicShare(11));
    ASSERT_EQ(two->privateShareInfos().size(), 1u);

    // add keeps them too, even when the added value carries other details.
    auto withDetails = makeFile(2, "/two.txt", 0);
    withDetails->setPublicShareInfo(publicShare(99));
    m_store.add(*withDetails);
    EXPECT_EQ(*stored(2)->publicShareInfo(), *publicShare(11));

    // modifyOrCreate replaces them when its apply does.
    m_store.modifyOrCreate(2, [](FileRef&, FileStore::PublicShare& publicInfo, FileStore::PrivateShares& privateInfos) {
        publicInfo = nullptr;
        privateInfos.clear();
    });
    EXPECT_EQ(stored(2)->publicShareInfo(), nullptr);
    EXPECT_TRUE(stored(2)->privateShareInfos().empty());

    // The in-place modify reads, changes and writes back.
    m_store.modifyFile(1, [](FileRef& file) { std::static_pointer_cast<FileWrapperItem>(file)->setFileHash("changed"); });
    EXPECT_EQ(stored(1)->fileHash(), "changed");
}

TEST_F(RealmFileStoreTests, aNewShareIsKeptWithItsFlagAndOnlyForAnExistingRecord)
{
    // The flag is what the extension's menu reads: it rises with the details,
    // and every other value of the record stays as it was.
    auto file = makeFile(3, "/Bericht.pdf", 0);
    file->setSyncEtag("e1");
    m_store.add(*file);
    ASSERT_TRUE(m_store.storePublicShare(3, publicShare(11)));
    auto three = stored(3);
    ASSERT_NE(three, nullptr);
    EXPECT_TRUE(three->hasPublicShare());
    EXPECT_FALSE(three->hasPrivateShares());
    ASSERT_NE(three->publicShareInfo(), nullptr);
    EXPECT_EQ(*three->publicShareInfo(), *publicShare(11));
    EXPECT_EQ(three->path(), "/Bericht.pdf");
    EXPECT_EQ(three->syncEtag(), std::optional<std::string>("e1"));

    // Private shares raise their flag only when there is one, and leave the public link alone.
    m_store.add(*makeFolder(4, "/Projekte/", 0));
    ASSERT_TRUE(m_store.storePrivateShares(4, {}));
    EXPECT_FALSE(stored(4)->hasPrivateShares());
    ASSERT_TRUE(m_store.storePrivateShares(3, { privateShare("a@example.org") }));
    EXPECT_TRUE(stored(3)->hasPrivateShares());
    EXPECT_TRUE(stored(3)->hasPublicShare());
    EXPECT_EQ(*stored(3)->publicShareInfo(), *publicShare(11));

    // A record gone in the meantime (the run removed it) is not brought back by its share.
    ASSERT_TRUE(m_store.storePublicShare(9, publicShare(12)));
    EXPECT_EQ(m_store.file(9), nullptr);
}

TEST_F(RealmFileStoreTests, removingRecords)
{
    // nil removes a record; an apply that leaves no file deletes it; a missing id writes nothing; clean leaves status rows alone.
    m_store.add(*makeFile(1, "/one.txt", 0));
    m_store.add(*makeFile(2, "/two.txt", 0));
    m_store.add(*makeFile(3, "/three.txt", 0));
    {
        auto database = m_database.open();
        ASSERT_TRUE(database.write([&] { return database.add(FileStatus { "/cloud/one.txt", 1 }); }));
    }

    int callsBefore = m_database.factoryCalls();
    m_store.setFile(99, nullptr);
    EXPECT_EQ(m_database.factoryCalls(), callsBefore + 1);

    m_store.setFile(1, nullptr);
    EXPECT_EQ(m_store.file(1), nullptr);

    bool applied = false;
    m_store.modifyOrCreate(2, [&](FileRef& file, auto&, auto&) {
        applied = true;
        EXPECT_NE(file, nullptr);
        file = nullptr;
    });
    EXPECT_TRUE(applied);
    EXPECT_EQ(m_store.file(2), nullptr);

    m_store.modifyOrCreate(50, [](FileRef& file, auto&, auto&) { EXPECT_EQ(file, nullptr); });
    EXPECT_EQ(m_store.files().size(), 1u);

    m_store.clean();
    EXPECT_TRUE(m_store.files().empty());
    auto database = m_database.open();
    EXPECT_EQ(*database.count<FileStatus>(), 1);
}

TEST_F(RealmFileStoreTests, pathLookupIsPrecomposedExactAndFindsFoldersWithTheirSlash)
{
    // A decomposed path finds the precomposed record, another letter case finds nothing, and a folder only answers to its trailing "/".
    m_store.add(*makeFile(1, "/Caf\xC3\xA9.txt", 0));
    m_store.add(*makeFolder(2, "/Docs", 0));

    auto decomposed = m_store.fileAtPath("/Cafe\xCC\x81.txt");
    ASSERT_NE(decomposed, nullptr);
    EXPECT_EQ(decomposed->syncFileID(), SyncFileID(1));
    EXPECT_EQ(m_store.fileAtPath("/caf\xC3\xA9.txt"), nullptr);
    EXPECT_EQ(m_store.fileAtPath("/Docs"), nullptr);
    ASSERT_NE(m_store.fileAtPath("/Docs/"), nullptr);
    EXPECT_EQ(m_store.fileAtPath("/Docs/")->syncFileID(), SyncFileID(2));
}

TEST_F(RealmFileStoreTests, damagedRecordsAreSkippedWithOneLinePerRead)
{
    // A row whose bytes do not decode is left out of every read with one log line each time, and modifyOrCreate starts from nothing and overwrites it.
    EXPECT_TRUE(m_store.files().empty());
    m_store.add(*makeFile(1, "/good.txt", 0));
    {
        auto database = m_database.open();
        ASSERT_TRUE(database.write([&] { return database.add(FileWrapper { 5, "/bad.txt", { 1, 2, 3 } }); }));
    }
    Platform::LogCapture capture;
    auto files = m_store.files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.front()->path(), "/good.txt");
    EXPECT_EQ(countLines(capture, damagedLine), 1u);
    EXPECT_EQ(m_store.file(5), nullptr);
    EXPECT_EQ(m_store.fileAtPath("/bad.txt"), nullptr);
    EXPECT_EQ(countLines(capture, damagedLine), 3u);

    m_store.modifyOrCreate(5, [](FileRef& file, FileStore::PublicShare& publicInfo, FileStore::PrivateShares& privateInfos) {
        EXPECT_EQ(file, nullptr);
        EXPECT_EQ(publicInfo, nullptr);
        EXPECT_TRUE(privateInfos.empty());
        file = makeFile(5, "/repaired.txt", 0);
    });
    EXPECT_EQ(countLines(capture, damagedLine), 4u);
    EXPECT_EQ(m_store.files().size(), 2u);
}

TEST_F(RealmFileStoreTests, filesProducerSendsAtStartAndAfterEveryCommit)
{
    // The stream returns at once, sends every record on its scheduler, again after a write to any table, and stops when disposed.
    m_store.add(*makeFile(1, "/one.txt", 0));
    Recorder<std::size_t> counts;
    auto disposable = m_store.filesProducer().startWithValues([&](const std::vector<FileRef>& files) { counts.record(files.size()); });
    ASSERT_TRUE(counts.waitUntil([](const auto& values) { return values.size() == 1; }));
    EXPECT_EQ(counts.values().front(), 1u);
    EXPECT_NE(counts.threads().front(), std::this_thread::get_id());

    m_store.add(*makeFile(2, "/two.txt", 0));
    ASSERT_TRUE(counts.waitUntil([](const auto& values) { return !values.empty() && values.back() == 2; }));

    auto sent = counts.values().size();
    {
        auto database = m_database.open();
        ASSERT_TRUE(database.write([&] { return database.add(FileStatus { "/cloud/two.txt", 1 }); }));
    }
    ASSERT_TRUE(counts.waitUntil([&](const auto& values) { return values.size() > sent; }));

    // After disposal no notification reaches the stream, whatever was queued.
    disposable.dispose();
    sent = counts.values().size();
    m_store.add(*makeFile(3, "/three.txt", 0));
    std::promise<void> drained;
    m_scheduler->schedule([&] { drained.set_value(); });
    ASSERT_EQ(drained.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(counts.values().size(), sent);
}

TEST_F(RealmFileStoreTests, filesProducerStartedOnItsSchedulerDoesNotBlockIt)
{
    // Started from a task on the delivery scheduler itself, the start returns and the first value still arrives on that scheduler.
    Recorder<std::size_t> counts;
    Reactive::AnyDisposable disposable;
    std::atomic<bool> startReturned { false };
    m_scheduler->schedule([&] {
        disposable = m_store.filesProducer().startWithValues([&](const std::vector<FileRef>& files) { counts.record(files.size()); });
        startReturned = true;
    });
    ASSERT_TRUE(counts.waitUntil([](const auto& values) { return values.size() == 1; }));
    EXPECT_TRUE(startReturned.load());
    disposable.dispose();
}

TEST_F(RealmFileStoreTests, theListingEtagOutlivesTheStoreIsNoRecordAndGoesWithClean)
{
    // A store opened afresh on the file (a restart) reads the etag back; no reader of records sees it, and no
    // record written over id 0 replaces it; clean, as at a logout or another cloud folder, forgets it.
    Platform::LogCapture capture;
    m_store.add(*makeFile(1, "/one.txt", 0));
    EXPECT_EQ(m_store.listingEtag(), std::nullopt);
    ASSERT_TRUE(m_store.setListingEtag("etag-7"));
    RealmFileStore reopened(m_database.factory(), m_scheduler);
    EXPECT_EQ(reopened.listingEtag(), "etag-7");
    EXPECT_EQ(reopened.files().size(), 1u);
    EXPECT_EQ(reopened.file(SyncFileID::remote(0)), nullptr);
    EXPECT_EQ(reopened.fileAtPath(""), nullptr);
    m_store.add(*makeFile(SyncFileID::remote(0), "/zero.txt", 0));
    m_store.setFile(SyncFileID::remote(0), nullptr);
    EXPECT_EQ(reopened.listingEtag(), "etag-7");
    std::promise<std::size_t> sent;
    auto observation = reopened.filesProducer().take(1).startWithValues(
        [&](const std::vector<FileRef>& files) { sent.set_value(files.size()); });
    EXPECT_EQ(sent.get_future().get(), 1u);
    EXPECT_EQ(countLines(capture, damagedLine), 0u);

    // Writing the same value again commits nothing.
    auto database = m_database.open();
    auto version = *database.dataVersion();
    ASSERT_TRUE(m_store.setListingEtag("etag-7"));
    EXPECT_EQ(*database.dataVersion(), version);

    ASSERT_TRUE(m_store.clean());
    EXPECT_EQ(reopened.listingEtag(), std::nullopt);
    ASSERT_TRUE(m_store.setListingEtag("etag-8"));
    ASSERT_TRUE(m_store.setListingEtag(std::nullopt));
    EXPECT_EQ(reopened.listingEtag(), std::nullopt);
}

TEST_F(RealmFileStoreTests, uploadIntentsKeepTheirStoredForm)
{
    // What an earlier version wrote is what this one reads, and the other way round: a JSON array of one
    // object per intent, keys in order, no spaces, a name's bytes that are not UTF-8 replaced.
    UploadIntent created;
    created.parentID = 100;
    created.name = "Bericht \xC3\xBC \"a\\b\"\x01\xFF.bin";
    created.fileHash = "0123";
    UploadIntent updated;
    updated.fileID = 1;
    updated.fileHash = "89ab";
    UploadIntent third;
    third.fileID = -5;
    third.parentID = 7;
    third.name = "\xC3";
    ASSERT_TRUE(m_store.setUploadIntents({ created, updated, third }));

    auto database = m_database.open();
    auto row = database.object<FileWrapper>(FileWrapper::uploadIntentsKey);
    ASSERT_TRUE(row && *row);
    const auto& bytes = (*row)->fileData;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
        "[{\"fileID\":null,\"hash\":\"0123\",\"name\":\"Bericht \xC3\xBC \\\"a\\\\b\\\"\\u0001\xEF\xBF\xBD.bin\",\"parentID\":100},"
        "{\"fileID\":1,\"hash\":\"89ab\",\"name\":\"\",\"parentID\":0},"
        "{\"fileID\":-5,\"hash\":\"\",\"name\":\"\xEF\xBF\xBD\",\"parentID\":7}]");
    created.name = "Bericht \xC3\xBC \"a\\b\"\x01\xEF\xBF\xBD.bin";
    third.name = "\xEF\xBF\xBD";
    EXPECT_EQ(m_store.uploadIntents(), (std::vector<UploadIntent> { created, updated, third }));

    ASSERT_TRUE(m_store.setUploadIntents({ updated }));
    row = database.object<FileWrapper>(FileWrapper::uploadIntentsKey);
    ASSERT_TRUE(row && *row);
    EXPECT_EQ(std::string((*row)->fileData.begin(), (*row)->fileData.end()),
        "[{\"fileID\":1,\"hash\":\"89ab\",\"name\":\"\",\"parentID\":0}]");
}

TEST_F(RealmFileStoreTests, uploadIntentsAreWrittenOnlyWhenTheyDiffer)
{
    // The same list again, or none when none are kept, writes nothing; a list that differs in one field,
    // or none after some, is written.
    UploadIntent created;
    created.parentID = 100;
    created.name = "a.bin";
    created.fileHash = "0123456789abcdef0123456789abcdef01234567";
    auto database = m_database.open();
    // Every write of a row leaves a mark, so that one of the same bytes shows too.
    const std::string table(FileWrapper::objectTypeName);
    for (const char* event : { "INSERT", "UPDATE", "DELETE" })
        ASSERT_TRUE(database.execute("CREATE TABLE IF NOT EXISTS writes (at INTEGER); CREATE TRIGGER marked_"
            + std::string(event) + " AFTER " + event + " ON \"" + table + "\" BEGIN INSERT INTO writes VALUES (1); END"));
    auto version = *database.dataVersion();
    ASSERT_TRUE(m_store.setUploadIntents({}));
    EXPECT_EQ(*database.dataVersion(), version);

    ASSERT_TRUE(m_store.setUploadIntents({ created }));
    EXPECT_NE(*database.dataVersion(), version);
    version = *database.dataVersion();
    ASSERT_TRUE(m_store.setUploadIntents({ created }));
    EXPECT_EQ(*database.dataVersion(), version);

    auto renamed = created;
    renamed.name = "b.bin";
    ASSERT_TRUE(m_store.setUploadIntents({ renamed }));
    EXPECT_NE(*database.dataVersion(), version);
    EXPECT_EQ(m_store.uploadIntents(), std::vector<UploadIntent> { renamed });

    version = *database.dataVersion();
    ASSERT_TRUE(m_store.setUploadIntents({}));
    EXPECT_NE(*database.dataVersion(), version);
    EXPECT_TRUE(m_store.uploadIntents().empty());
    RealmFileStore reopened(m_database.factory(), m_scheduler);
    EXPECT_TRUE(reopened.uploadIntents().empty());
}

TEST_F(RealmFileStoreTests, uploadIntentsOutliveTheStoreAreNoRecordsAndGoWithClean)
{
    // Kept for the next process, beside the listing etag; no reader of records sees them, a record written
    // over their key does not replace them, and clean forgets them with the records.
    Platform::LogCapture capture;
    m_store.add(*makeFile(1, "/one.txt", 0));
    EXPECT_TRUE(m_store.uploadIntents().empty());
    UploadIntent created;
    created.parentID = 100;
    created.name = "Bericht \xC3\xBC.bin";
    created.fileHash = "0123456789abcdef0123456789abcdef01234567";
    UploadIntent updated;
    updated.fileID = 1;
    updated.fileHash = "89abcdef0123456789abcdef0123456789abcdef";
    const std::vector<UploadIntent> intents { created, updated };
    ASSERT_TRUE(m_store.setUploadIntents(intents));
    ASSERT_TRUE(m_store.setListingEtag("etag-7"));

    RealmFileStore reopened(m_database.factory(), m_scheduler);
    EXPECT_EQ(reopened.uploadIntents(), intents);
    EXPECT_EQ(reopened.listingEtag(), "etag-7");
    EXPECT_EQ(reopened.files().size(), 1u);
    EXPECT_EQ(reopened.file(SyncFileID::remote(FileWrapper::uploadIntentsKey)), nullptr);
    EXPECT_EQ(reopened.fileAtPath(""), nullptr);
    m_store.add(*makeFile(SyncFileID::remote(FileWrapper::uploadIntentsKey), "/minus.txt", 0));
    m_store.setFile(SyncFileID::remote(FileWrapper::uploadIntentsKey), nullptr);
    EXPECT_EQ(reopened.uploadIntents(), intents);
    std::promise<std::size_t> sent;
    auto observation = reopened.filesProducer().take(1).startWithValues(
        [&](const std::vector<FileRef>& files) { sent.set_value(files.size()); });
    EXPECT_EQ(sent.get_future().get(), 1u);
    EXPECT_EQ(countLines(capture, damagedLine), 0u);

    auto database = m_database.open();
    auto version = *database.dataVersion();
    ASSERT_TRUE(m_store.setUploadIntents(intents));
    EXPECT_EQ(*database.dataVersion(), version);

    ASSERT_TRUE(m_store.setUploadIntents({ updated }));
    EXPECT_EQ(reopened.uploadIntents(), std::vector<UploadIntent> { updated });
    ASSERT_TRUE(m_store.clean());
    EXPECT_TRUE(reopened.uploadIntents().empty());
    ASSERT_TRUE(m_store.setUploadIntents(intents));
    ASSERT_TRUE(m_store.setUploadIntents({}));
    EXPECT_TRUE(reopened.uploadIntents().empty());
}
