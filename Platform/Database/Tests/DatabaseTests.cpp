#include "Platform/Database/Database.hpp"
#include "Platform/Database/Tests/TestObjects.hpp"

#include <gtest/gtest.h>

#include <barrier>
#include <fstream>
#include <string>
#include <thread>
#include <sys/stat.h>

using namespace Platform;
using namespace Platform::DatabaseTesting;

namespace {

struct Probe {
    std::int64_t value = 0;
    static constexpr std::string_view objectTypeName = "Probe";
    static constexpr auto properties() { return std::tuple {DatabaseProperty {"value", &Probe::value}}; }
};

struct Child {
    std::int64_t id = 0;
    std::int64_t parent = 0;
    static constexpr std::string_view objectTypeName = "Child";
    static constexpr auto properties()
    {
        return std::tuple {DatabaseProperty {"id", &Child::id}, DatabaseProperty {"parent", &Child::parent}};
    }
};

std::int64_t pragmaInteger(Database& database, const std::string& sql)
{
    // Reads a one-value PRAGMA through a throw-away table to stay on the public interface.
    EXPECT_TRUE(database.execute("CREATE TEMP TABLE IF NOT EXISTS Probe (value)").has_value());
    EXPECT_TRUE(database.execute("DELETE FROM Probe; INSERT INTO Probe SELECT * FROM " + sql).has_value());
    auto rows = database.objects<Probe>();
    return rows && !rows->empty() ? rows->front().value : -1;
}

std::string fileContent(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

} // namespace

TEST(DatabaseTests, newFileGetsSchemaVersionWalModeAndStatusIndex)
{
    // Opening a new file creates both tables, the status index, WAL mode and user_version 2.
    TemporaryDirectory directory;
    auto database = Database::open(testConfiguration(directory));
    ASSERT_TRUE(database) << database.error().description();

    EXPECT_EQ(pragmaInteger(*database, "pragma_user_version"), 2);
    EXPECT_EQ(pragmaInteger(*database, "(SELECT count(*) FROM sqlite_schema WHERE type = 'index' AND tbl_name = "
                                       "'FileStatus' AND sql LIKE '%(status%')"),
        1);
    EXPECT_EQ(pragmaInteger(*database, "(SELECT journal_mode = 'wal' FROM pragma_journal_mode)"), 1);
    auto files = database->count<StoredFile>();
    auto statuses = database->count<StoredStatus>();
    ASSERT_TRUE(files && statuses);
    EXPECT_EQ(*files, 0);
    EXPECT_EQ(*statuses, 0);

    // A second open of the existing file finds the version and keeps the data.
    ASSERT_TRUE(database->write([&] { return database->add(StoredStatus {"/a", 1}); }));
    auto again = Database::open(testConfiguration(directory));
    ASSERT_TRUE(again) << again.error().description();
    EXPECT_EQ(again->object<StoredStatus>(std::string("/a"))->value_or(StoredStatus {}).status, 1);
}

TEST(DatabaseTests, twoConnectionsOpeningANewFileAtOnceBothSucceed)
{
    // The application and the extension may open a new file at the same moment: both switch it to WAL, and SQLite
    // answers one of them "busy" at once, past the busy time-out. Each open succeeds all the same, in every round.
    for (int round = 0; round < 100; ++round) {
        TemporaryDirectory directory;
        const auto configuration = testConfiguration(directory);
        std::barrier start(2);
        std::string failures[2];
        std::thread other([&] {
            start.arrive_and_wait();
            auto opened = Database::open(configuration);
            failures[1] = opened ? std::string() : opened.error().description();
        });
        start.arrive_and_wait();
        auto opened = Database::open(configuration);
        failures[0] = opened ? std::string() : opened.error().description();
        other.join();
        ASSERT_EQ(failures[0] + failures[1], "") << "round " << round;
    }
}

TEST(DatabaseTests, aNewDatabaseAndItsJournalFilesAreTheUsersAlone)
{
    // A new database file, its WAL and its shared-memory file are made 0600, so no other user reads the stored state.
    TemporaryDirectory directory;
    auto configuration = testConfiguration(directory);
    auto database = Database::open(configuration);
    ASSERT_TRUE(database) << database.error().description();
    ASSERT_TRUE(database->write([&] { return database->add(StoredStatus {"/a", 1}); }));
    for (const auto& suffix : { "", "-wal", "-shm" }) {
        struct stat status {};
        ASSERT_EQ(::stat((configuration.file.string() + suffix).c_str(), &status), 0) << suffix;
        EXPECT_EQ(status.st_mode & 0777, 0600u) << suffix;
    }
}

TEST(DatabaseTests, writeTransactionsCommitCancelAndRefuseMisuse)
{
    // Writes need an open transaction; commit makes them visible to other handles, cancel and a dropped handle do not.
    TemporaryDirectory directory;
    auto writer = Database::open(testConfiguration(directory));
    auto reader = Database::open(testConfiguration(directory));
    ASSERT_TRUE(writer && reader);

    auto outside = writer->add(StoredStatus {"/outside", 1});
    ASSERT_FALSE(outside);
    EXPECT_EQ(outside.error().code(), DatabaseError::Code::transactionMisuse);
    EXPECT_EQ(writer->commitWrite().error().code(), DatabaseError::Code::transactionMisuse);

    ASSERT_TRUE(writer->beginWrite());
    EXPECT_EQ(writer->beginWrite().error().code(), DatabaseError::Code::transactionMisuse);
    ASSERT_TRUE(writer->add(StoredStatus {"/kept", 2}));
    EXPECT_EQ(*reader->count<StoredStatus>(), 0) << "uncommitted rows are invisible to other handles";
    ASSERT_TRUE(writer->commitWrite());
    EXPECT_FALSE(writer->isInWriteTransaction());
    EXPECT_EQ(*reader->count<StoredStatus>(), 1);

    ASSERT_TRUE(writer->beginWrite());
    ASSERT_TRUE(writer->add(StoredStatus {"/cancelled", 1}));
    writer->cancelWrite();
    EXPECT_FALSE(*reader->exists<StoredStatus>(DatabaseQuery::equal("filePath", std::string("/cancelled"))));

    {
        auto dropped = Database::open(testConfiguration(directory));
        ASSERT_TRUE(dropped && dropped->beginWrite());
        ASSERT_TRUE(dropped->add(StoredStatus {"/dropped", 1}));
    }
    EXPECT_EQ(*reader->count<StoredStatus>(), 1) << "a handle destroyed mid-transaction rolls back";

    auto failedBody = writer->write([&]() -> std::expected<void, DatabaseError> {
        if (auto added = writer->add(StoredStatus {"/body", 1}); !added)
            return added;
        return std::unexpected(DatabaseError(DatabaseError::Code::statementFailed, "body failed"));
    });
    EXPECT_FALSE(failedBody);
    EXPECT_FALSE(writer->isInWriteTransaction());
    EXPECT_EQ(*reader->count<StoredStatus>(), 1) << "a failing body rolls its writes back";
}

TEST(DatabaseTests, failedCommitIsReportedAndRolledBack)
{
    // A commit that SQLite refuses comes back as commitFailed, leaves nothing stored and frees the handle.
    TemporaryDirectory directory;
    DatabaseConfiguration configuration;
    configuration.file = directory.path() / "deferred.db";
    configuration.schema.version = 1;
    configuration.schema.scripts = {
        "CREATE TABLE Parent (id INTEGER PRIMARY KEY NOT NULL) STRICT;"
        "CREATE TABLE Child (id INTEGER PRIMARY KEY NOT NULL, parent INTEGER NOT NULL"
        " REFERENCES Parent(id) DEFERRABLE INITIALLY DEFERRED) STRICT;"};
    auto database = Database::open(configuration);
    ASSERT_TRUE(database) << database.error().description();
    ASSERT_TRUE(database->execute("PRAGMA foreign_keys = ON"));

    ASSERT_TRUE(database->beginWrite());
    ASSERT_TRUE(database->add(Child {1, 42}));
    auto committed = database->commitWrite();
    ASSERT_FALSE(committed);
    EXPECT_EQ(committed.error().code(), DatabaseError::Code::commitFailed);
    EXPECT_FALSE(database->isInWriteTransaction());
    EXPECT_EQ(*database->count<Child>(), 0);
    ASSERT_TRUE(database->beginWrite()) << "the handle is usable again";
    database->cancelWrite();
}

TEST(DatabaseTests, secondWriterWaitsThenReportsBusy)
{
    // BEGIN IMMEDIATE waits for the busy time-out while another handle writes, then fails with busy.
    TemporaryDirectory directory;
    auto configuration = testConfiguration(directory);
    configuration.busyTimeout = std::chrono::milliseconds(50);
    auto first = Database::open(configuration);
    auto second = Database::open(configuration);
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->beginWrite());
    auto blocked = second->beginWrite();
    ASSERT_FALSE(blocked);
    EXPECT_EQ(blocked.error().code(), DatabaseError::Code::busy);
    EXPECT_FALSE(second->isInWriteTransaction());
    EXPECT_TRUE(second->count<StoredStatus>()) << "reading goes on while another handle writes";
    ASSERT_TRUE(first->commitWrite());
    EXPECT_TRUE(second->beginWrite());
}

TEST(DatabaseTests, unusableFilesFailWithDistinctErrorsAndStayUntouched)
{
    // A file that is no database, one of another version, a foreign database and an unreachable path each get their own error, and nothing is written to them.
    TemporaryDirectory directory;

    auto garbage = directory.path() / "garbage.realm";
    std::ofstream(garbage, std::ios::binary) << std::string(8192, 'x');
    auto notDatabase = Database::open(testConfiguration(garbage));
    ASSERT_FALSE(notDatabase);
    EXPECT_EQ(notDatabase.error().code(), DatabaseError::Code::notADatabase);
    EXPECT_EQ(fileContent(garbage), std::string(8192, 'x'));
    EXPECT_FALSE(std::filesystem::exists(garbage.string() + "-wal"));

    auto newer = directory.path() / "newer.realm";
    {
        auto database = Database::open(testConfiguration(newer));
        ASSERT_TRUE(database && database->execute("PRAGMA user_version = 3"));
    }
    auto otherVersion = Database::open(testConfiguration(newer));
    ASSERT_FALSE(otherVersion);
    EXPECT_EQ(otherVersion.error().code(), DatabaseError::Code::schemaVersionMismatch);

    auto foreign = directory.path() / "foreign.db";
    {
        DatabaseConfiguration configuration {foreign, {1, {"CREATE TABLE Other (x INTEGER) STRICT;"}}};
        auto database = Database::open(configuration);
        ASSERT_TRUE(database && database->execute("PRAGMA user_version = 0"));
    }
    auto unversioned = Database::open(testConfiguration(foreign));
    ASSERT_FALSE(unversioned);
    EXPECT_EQ(unversioned.error().code(), DatabaseError::Code::schemaVersionMismatch);

    auto folder = Database::open(testConfiguration(directory.path()));
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().code(), DatabaseError::Code::cannotOpen);
    auto missing = Database::open(testConfiguration(directory.path() / "missing" / "Cloud.realm"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code(), DatabaseError::Code::cannotOpen);

    // Version 0 is what SQLite reports for a file no schema was ever written to: a schema needs 1 or more, and a
    // configuration without one is refused before any file is made.
    auto unnumbered = directory.path() / "unnumbered.db";
    auto versionZero = Database::open(DatabaseConfiguration {unnumbered, {0, {"CREATE TABLE Other (x INTEGER) STRICT;"}}});
    ASSERT_FALSE(versionZero);
    EXPECT_EQ(versionZero.error().code(), DatabaseError::Code::invalidQuery);
    EXPECT_FALSE(std::filesystem::exists(unnumbered));
    EXPECT_TRUE(Database::open(DatabaseConfiguration {unnumbered, {1, {"CREATE TABLE Other (x INTEGER) STRICT;"}}}));
}

TEST(DatabaseTests, factoryOpensAFreshHandleAtEachCall)
{
    // The factory opens independent handles, each seeing the latest commit.
    TemporaryDirectory directory;
    auto factory = Database::factory(testConfiguration(directory));
    auto first = factory();
    ASSERT_TRUE(first);
    ASSERT_TRUE(first->write([&] { return first->add(StoredFile {7, "/seven", {1, 2, 3}}); }));
    auto second = factory();
    ASSERT_TRUE(second);
    auto stored = second->object<StoredFile>(std::int64_t {7});
    ASSERT_TRUE(stored && stored->has_value());
    EXPECT_EQ(**stored, (StoredFile {7, "/seven", {1, 2, 3}}));
}
