#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Sync/Store/StoreError.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;

namespace {

// What a run sends to checkErrors, and how much it logs.
struct Observed {
    std::mutex mutex;
    std::vector<Reactive::AnyError> checkErrors;
};

std::shared_ptr<Observed> observe(TestCloud& cloud)
{
    auto observed = std::make_shared<Observed>();
    cloud.manager->checkErrors().observeValues([observed](const Reactive::AnyError& error) {
        std::lock_guard lock(observed->mutex);
        observed->checkErrors.push_back(error);
    });
    return observed;
}

std::string databaseFile(const TestCloud& cloud) { return cloud.directory() + "/Cloud.db"; }

// The run reported exactly one failure, a StoreError naming the database file in both its texts.
void expectOneStoreErrorNamingTheFile(Observed& observed, const TestCloud& cloud)
{
    std::lock_guard lock(observed.mutex);
    ASSERT_EQ(observed.checkErrors.size(), 1u);
    const auto* error = observed.checkErrors.front().as<StoreError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->databaseFile(), databaseFile(cloud));
    EXPECT_NE(error->description().find(databaseFile(cloud)), std::string::npos);
    EXPECT_NE(error->localizedDescription().find("„" + databaseFile(cloud) + "“"), std::string::npos);
}

void runSQL(const TestCloud& cloud, const std::string& sql)
{
    auto database = Platform::Database::open(Sync::cloudDatabaseConfiguration(databaseFile(cloud)));
    ASSERT_TRUE(database) << database.error().description();
    ASSERT_TRUE(database->execute(sql)) << sql;
}

// With the failing trigger dropped, two runs bring disk, server and store in step, and no run is left to do.
void expectSettledOnceTheStoreWorks(TestCloud& cloud)
{
    runSQL(cloud, "DROP TRIGGER full;");
    ASSERT_TRUE(cloud.sync().completed);
    auto settled = cloud.sync();
    ASSERT_TRUE(settled.completed);
    EXPECT_EQ(errorsOf(settled), std::vector<std::string>());
    expectInStep(cloud);
    expectIdle(cloud);
}

} // namespace

TEST(StoreFailures, AFileThatIsNoDatabaseFailsTheRunOnceNamingTheFile)
{
    // Nothing is downloaded or uploaded that could not be recorded, and the
    // run says so once instead of once per file.
    TestCloud cloud;
    for (int index = 0; index < 40; ++index) {
        cloud.server->addFile("/Down/" + std::to_string(index) + ".txt", "down");
        cloud.writeFile("/Up/" + std::to_string(index) + ".txt", "up");
    }
    std::ofstream(databaseFile(cloud)) << "this is not a database, it is a shopping list";
    auto observed = observe(cloud);
    Platform::LogCapture log;

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_TRUE(run.events.empty());
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_LE(log.lines().size(), 3u);
    expectOneStoreErrorNamingTheFile(*observed, cloud);
}

TEST(StoreFailures, AFailingWriteStopsThePhaseAtOnceAndTheNextRunCompletes)
{
    // A write that fails (as on a full disk) ends the run after the change
    // that met it: at most that one item is placed and not recorded, and
    // later runs with a working store take it as it is.
    TestCloud cloud;
    cloud.server->addFile("/first.txt", "first");
    ASSERT_TRUE(cloud.sync().completed);
    for (int index = 0; index < 30; ++index) {
        cloud.server->addFile("/More/" + std::to_string(index) + ".txt", std::to_string(index));
    }
    runSQL(cloud, "CREATE TRIGGER full BEFORE INSERT ON FileWrapper BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    auto observed = observe(cloud);
    cloud.server->resetCounts();
    Platform::LogCapture log;

    auto failed = cloud.sync();

    ASSERT_TRUE(failed.completed);
    EXPECT_EQ(errorsOf(failed), std::vector<std::string>());
    EXPECT_LE(cloud.server->callCount(Call::download), 1);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_LE(log.lines().size(), 3u);
    expectOneStoreErrorNamingTheFile(*observed, cloud);

    // The item placed but not recorded looks new to the next local phase (its
    // upload is refused, the name being taken); the remote phase adopts it.
    expectSettledOnceTheStoreWorks(cloud);
}

TEST(StoreFailures, AListWhoseSyncingMarkCannotBeWrittenSendsNothing)
{
    // The mark is what the badges and the extension show while a list runs:
    // a list that cannot say it is syncing does not start, rather than run
    // with every item still shown as up to date.
    TestCloud cloud;
    for (int index = 0; index < 20; ++index) {
        cloud.server->addFile("/Down/" + std::to_string(index) + ".txt", std::to_string(index));
        cloud.writeFile("/Up/" + std::to_string(index) + ".txt", "up " + std::to_string(index));
    }
    runSQL(cloud, "CREATE TRIGGER full BEFORE INSERT ON FileStatus WHEN NEW.status = 1 "
                  "BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    runSQL(cloud, "CREATE TRIGGER fullUpdate BEFORE UPDATE ON FileStatus WHEN NEW.status = 1 "
                  "BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    auto observed = observe(cloud);
    cloud.server->resetCounts();

    auto failed = cloud.sync();

    ASSERT_TRUE(failed.completed);
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    expectOneStoreErrorNamingTheFile(*observed, cloud);

    runSQL(cloud, "DROP TRIGGER fullUpdate;");
    expectSettledOnceTheStoreWorks(cloud);
}

TEST(StoreFailures, ARecordIsNeverWrittenWithoutItsStatus)
{
    // The record and the status row of an upload go into the store together:
    // when the status row cannot be written, the record is not there either,
    // and the next run takes the item up from the server as it is.
    TestCloud cloud;
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/up.txt", "up");
    runSQL(cloud,
        "CREATE TRIGGER full BEFORE INSERT ON FileStatus WHEN NEW.status = 0 "
        "BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    auto observed = observe(cloud);
    Platform::LogCapture log;

    auto failed = cloud.sync();

    ASSERT_TRUE(failed.completed);
    EXPECT_TRUE(cloud.server->fileAt("/up.txt"));
    EXPECT_FALSE(cloud.fileStore->fileAtPath("/up.txt"));
    expectOneStoreErrorNamingTheFile(*observed, cloud);

    expectSettledOnceTheStoreWorks(cloud);
    EXPECT_TRUE(cloud.fileStore->fileAtPath("/up.txt"));
}

TEST(StoreFailures, AServerRenameOrMoveThatCannotBeRecordedKeepsTheOldRecordAndStatus)
{
    // The server renamed and moved the items, but the store cannot say so: the run fails once with the store's
    // error, the old records and their statuses stay, and once the store works the runs settle on the new places.
    TestCloud cloud;
    cloud.writeFile("/a.txt", "a");
    cloud.writeFile("/b.txt", "b");
    cloud.makeFolder("/F");
    ASSERT_TRUE(cloud.sync().completed);
    const auto renamedID = cloud.fileStore->fileAtPath("/a.txt")->syncFileID();
    const auto movedID = cloud.fileStore->fileAtPath("/b.txt")->syncFileID();
    cloud.moveItem("/a.txt", "/renamed.txt");
    cloud.moveItem("/b.txt", "/F/b.txt");
    runSQL(cloud, "CREATE TRIGGER full BEFORE INSERT ON FileWrapper BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    auto observed = observe(cloud);
    Platform::LogCapture log;

    auto failed = cloud.sync();

    ASSERT_TRUE(failed.completed);
    EXPECT_EQ(changesWith(failed, SyncEvent::Kind::Finished), std::vector<std::string>());
    EXPECT_TRUE(cloud.server->idAt("/renamed.txt") || cloud.server->idAt("/F/b.txt"));
    expectOneStoreErrorNamingTheFile(*observed, cloud);
    EXPECT_EQ(cloud.fileStore->file(renamedID)->path(), "/a.txt");
    EXPECT_EQ(cloud.fileStore->file(movedID)->path(), "/b.txt");
    EXPECT_EQ(cloud.status("/a.txt"), FileSyncStatus::upToDate);
    EXPECT_EQ(cloud.status("/b.txt"), FileSyncStatus::upToDate);

    expectSettledOnceTheStoreWorks(cloud);
    EXPECT_EQ(cloud.fileStore->file(renamedID)->path(), "/renamed.txt");
    EXPECT_EQ(cloud.fileStore->file(movedID)->path(), "/F/b.txt");
}

TEST(StoreFailures, AServerDeleteThatCannotBeRecordedIsAnErrorAndKeepsTheRecordAndStatus)
{
    // The server deleted the item the disk lost, but the store cannot forget it: the run fails once with the
    // store's error instead of reporting the delete as done, and once the store works the runs settle.
    TestCloud cloud;
    cloud.writeFile("/gone.txt", "g");
    cloud.writeFile("/kept.txt", "k");
    ASSERT_TRUE(cloud.sync().completed);
    const auto goneID = cloud.fileStore->fileAtPath("/gone.txt")->syncFileID();
    cloud.removeItem("/gone.txt");
    runSQL(cloud, "CREATE TRIGGER full BEFORE DELETE ON FileWrapper WHEN OLD.path = '/gone.txt' "
                  "BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    auto observed = observe(cloud);
    Platform::LogCapture log;

    auto failed = cloud.sync();

    ASSERT_TRUE(failed.completed);
    EXPECT_EQ(changesWith(failed, SyncEvent::Kind::Finished), std::vector<std::string>());
    EXPECT_FALSE(cloud.server->idAt("/gone.txt"));
    expectOneStoreErrorNamingTheFile(*observed, cloud);
    ASSERT_TRUE(cloud.fileStore->file(goneID));
    EXPECT_EQ(cloud.fileStore->file(goneID)->path(), "/gone.txt");

    expectSettledOnceTheStoreWorks(cloud);
    EXPECT_FALSE(cloud.fileStore->file(goneID));
    EXPECT_EQ(cloud.server->paths(), std::vector<std::string> { "/kept.txt" });
}

TEST(StoreFailures, AnEditUploadedThatCannotBeRecordedIsAnErrorNotAFinishedChange)
{
    // The server took the new content, but the store cannot note its hash: the run fails once with the store's
    // error instead of reporting the upload as done, and once the store works the runs settle.
    TestCloud cloud;
    cloud.writeFile("/edited.txt", "old");
    cloud.writeFile("/kept.txt", "k");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/edited.txt", "newer work");
    runSQL(cloud, "CREATE TRIGGER full BEFORE INSERT ON FileWrapper WHEN NEW.path = '/edited.txt' "
                  "BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    auto observed = observe(cloud);
    Platform::LogCapture log;

    auto failed = cloud.sync();

    ASSERT_TRUE(failed.completed);
    EXPECT_EQ(changesWith(failed, SyncEvent::Kind::Finished), std::vector<std::string>());
    EXPECT_EQ(cloud.server->contentAt("/edited.txt"), "newer work");
    expectOneStoreErrorNamingTheFile(*observed, cloud);

    expectSettledOnceTheStoreWorks(cloud);
    EXPECT_EQ(cloud.readFile("/edited.txt"), "newer work");
}

TEST(StoreFailures, StoredRecordsThatCannotBeReadFailTheRunBeforeAnythingMoves)
{
    // The records are read while the disk is walked: when they cannot be read,
    // the run must not take the empty result for a first sync and upload,
    // download or delete anything; it fails once naming the database file.
    TestCloud cloud;
    for (int index = 0; index < 20; ++index) {
        cloud.server->addFile("/Both/" + std::to_string(index) + ".txt", "both " + std::to_string(index));
    }
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/Both/0.txt", "edited here");
    cloud.writeFile("/Both/new.txt", "new here");
    std::filesystem::remove(cloud.diskPath("/Both/1.txt"));
    cloud.server->addFile("/Both/server.txt", "new there");
    runSQL(cloud, "ALTER TABLE FileWrapper RENAME TO FileWrapperElsewhere;");
    auto observed = observe(cloud);
    cloud.server->resetCounts();

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_TRUE(run.events.empty());
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(cloud.diskPath("/Both/server.txt")));
    expectOneStoreErrorNamingTheFile(*observed, cloud);
}
