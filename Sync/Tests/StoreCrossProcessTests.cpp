#include "Platform/Database/Tests/WriterProcess.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Sync/Status/RealmFileSyncStatusStore.hpp"
#include "Sync/Store/RealmFileStore.hpp"
#include "StoreTestSupport.hpp"

#include <gtest/gtest.h>

#include <future>

#include <sys/wait.h>

using namespace Sync;
using namespace Sync::Testing;

TEST(StoreCrossProcessTests, commitsOfAnotherProcessReachBothStreamsWithinOneSecond)
{
    // A child process stores a record and marks it syncing; the parent's filesProducer and statusProducer deliver both within a second.
    TemporaryDatabase database;
    auto scheduler = Reactive::QueueScheduler::make("Test.CrossProcess");
    RealmFileStore fileStore(database.factory(), scheduler);
    RealmFileSyncStatusStore statusStore(database.factory(), scheduler);
    auto cloud = Platform::URL::fileURL("/home/nutzer/Cloud", Platform::URL::IsDirectory::Yes);
    auto childURL = Platform::URL::fileURL("/home/nutzer/Cloud/child.txt");
    statusStore.setTrackedURLs({ childURL });

    Recorder<std::vector<std::string>> files;
    Recorder<FileSyncStatuses> statuses;
    auto filesStarted = fileStore.filesProducer().startWithValues([&](const std::vector<FileRef>& value) {
        std::vector<std::string> paths;
        for (const auto& file : value)
            paths.push_back(file->path());
        files.record(paths);
    });
    auto statusStarted = statusStore.statusProducer().startWithValues([&](const FileSyncStatuses& value) { statuses.record(value); });
    ASSERT_TRUE(files.waitUntil([](const auto& values) { return values.size() == 1; }));
    // The status stream has registered once a task queued behind its start has run.
    std::promise<void> registered;
    scheduler->schedule([&] { registered.set_value(); });
    ASSERT_EQ(registered.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);

    Platform::DatabaseTesting::WriterProcess child(SYNC_STORE_TEST_WRITER,
        { database.configuration().file.string(), "/home/nutzer/Cloud", "42", "/child.txt" });
    int status = child.waitForExit();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_TRUE(files.waitUntil(
        [](const auto& values) { return values.back() == std::vector<std::string> { "/child.txt" }; },
        std::chrono::seconds(1)));
    EXPECT_TRUE(statuses.waitUntil(
        [&](const auto& values) {
            return !values.empty() && values.back().count(childURL) && values.back().at(childURL) == FileSyncStatus::syncing;
        },
        std::chrono::seconds(1)));
    filesStarted.dispose();
    statusStarted.dispose();
}
