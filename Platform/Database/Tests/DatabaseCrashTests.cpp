#include "Platform/Database/Database.hpp"
#include "Platform/Database/Tests/TestObjects.hpp"
#include "Platform/Database/Tests/WriterProcess.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

using namespace Platform;
using namespace Platform::DatabaseTesting;

TEST(DatabaseCrashTests, writerKilledInsideLargeTransactionLeavesLastCommittedState)
{
    // A writer killed with SIGKILL while its large transaction has already spilled into the WAL file leaves the database at its last commit, readable and writable.
    TemporaryDirectory directory;
    auto configuration = testConfiguration(directory);
    constexpr std::int64_t committedRows = 500;

    WriterProcess writer(DATABASE_TEST_WRITER, {configuration.file.string(), "crash", std::to_string(committedRows)});
    ASSERT_EQ(writer.readLine(30000), "ready");
    auto walFile = configuration.file.string() + "-wal";
    ASSERT_TRUE(std::filesystem::exists(walFile));
    EXPECT_GT(std::filesystem::file_size(walFile), std::uintmax_t {committedRows * 4096})
        << "uncommitted pages reached the WAL file before the kill";
    writer.kill(SIGKILL);
    int status = writer.waitForExit();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    auto database = Database::open(configuration);
    ASSERT_TRUE(database) << database.error().description();
    auto count = database->count<StoredFile>();
    ASSERT_TRUE(count);
    EXPECT_EQ(*count, committedRows);
    EXPECT_FALSE(*database->exists<StoredFile>(DatabaseQuery::hasPrefix("path", "/uncommitted/")));
    auto last = database->object<StoredFile>(committedRows);
    ASSERT_TRUE(last && last->has_value());
    EXPECT_EQ((*last)->path, "/committed/500");
    EXPECT_EQ((*last)->fileData, DatabaseBlob(4096, 0xAB));

    auto written = database->write([&] { return database->add(StoredFile {committedRows + 1, "/after", {}}); });
    ASSERT_TRUE(written) << written.error().description();
    EXPECT_EQ(*database->count<StoredFile>(), committedRows + 1);
}
