#include "Platform/Database/Database.hpp"
#include "Platform/Database/Tests/TestObjects.hpp"
#include "Platform/Database/Tests/WriterProcess.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <sys/wait.h>

using namespace Platform;
using namespace Platform::DatabaseTesting;
using namespace std::chrono_literals;

namespace {

// An executor whose tasks wait until the test runs them on its own thread.
class ManualExecutor {
public:
    DatabaseExecutor executor()
    {
        return [this](std::function<void()> task) {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        };
    }
    std::size_t pending()
    {
        std::lock_guard lock(m_mutex);
        return m_tasks.size();
    }
    // Runs the tasks queued so far; the number run.
    std::size_t runPending()
    {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard lock(m_mutex);
            tasks.swap(m_tasks);
        }
        for (auto& task : tasks)
            task();
        return tasks.size();
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks;
};

DatabaseExecutor inlineExecutor()
{
    return [](std::function<void()> task) { task(); };
}

void commitStatus(const DatabaseConfiguration& configuration, const std::string& path, std::int64_t status)
{
    auto database = Database::open(configuration);
    ASSERT_TRUE(database);
    auto written = database->write([&] { return database->add(StoredStatus {path, status}); });
    ASSERT_TRUE(written) << written.error().description();
}

} // namespace

TEST(DatabaseObserverTests, commitsAreDeliveredThroughTheChosenExecutor)
{
    // Observing returns at once and calls nothing; a commit from another handle or thread reaches the callback only through the executor.
    TemporaryDirectory directory;
    auto configuration = testConfiguration(directory);
    ManualExecutor executor;
    int calls = 0;
    std::thread::id callbackThread;
    auto observation = DatabaseObserver::observe(configuration, executor.executor(), [&] {
        ++calls;
        callbackThread = std::this_thread::get_id();
    });
    ASSERT_TRUE(observation) << observation.error().description();
    EXPECT_EQ(executor.pending(), 0u);

    commitStatus(configuration, "/a", 1);
    ASSERT_TRUE(waitFor([&] { return executor.pending() > 0; }, 5s));
    EXPECT_EQ(calls, 0) << "nothing runs outside the executor";
    executor.runPending();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(callbackThread, std::this_thread::get_id());

    std::thread writer([&] { commitStatus(configuration, "/b", 1); });
    writer.join();
    ASSERT_TRUE(waitFor([&] { return executor.pending() > 0; }, 5s));
    executor.runPending();
    EXPECT_EQ(calls, 2);

    // A write transaction that is cancelled commits nothing and tells nobody;
    // the commit after it is told.
    auto database = Database::open(configuration);
    ASSERT_TRUE(database && database->beginWrite());
    ASSERT_TRUE(database->add(StoredStatus {"/c", 1}));
    database->cancelWrite();
    commitStatus(configuration, "/d", 1);
    ASSERT_TRUE(waitFor([&] { return executor.pending() > 0; }, 5s));
    executor.runPending();
    EXPECT_EQ(calls, 3);
}

TEST(DatabaseObserverTests, commitsWhileWaitingFoldIntoOneCallAndNoneIsLost)
{
    // Commits that land while a notification waits fold into it; a commit during a running callback schedules exactly one more.
    TemporaryDirectory directory;
    auto configuration = testConfiguration(directory);
    ManualExecutor executor;
    int calls = 0;
    bool commitInsideCallback = true;
    auto observation = DatabaseObserver::observe(configuration, executor.executor(), [&] {
        ++calls;
        if (commitInsideCallback) {
            commitInsideCallback = false;
            commitStatus(configuration, "/inside", 1);
        }
    });
    ASSERT_TRUE(observation);

    for (int index = 0; index < 5; ++index)
        commitStatus(configuration, "/f" + std::to_string(index), 1);
    ASSERT_TRUE(waitFor([&] { return executor.pending() > 0; }, 5s));
    EXPECT_EQ(executor.pending(), 1u) << "one waiting task per observation";
    executor.runPending();
    EXPECT_EQ(calls, 1);
    // The commit made inside the first callback is told once more.
    ASSERT_TRUE(waitFor([&] { return executor.pending() > 0; }, 5s));
    executor.runPending();
    EXPECT_EQ(calls, 2);
}

TEST(DatabaseObserverTests, endingObservationIsSafeInsideCallbackAndFromOtherThreads)
{
    // An observation may end itself inside its callback (here on the monitor thread), and observations may start and end on one thread while another commits.
    TemporaryDirectory directory;
    auto configuration = testConfiguration(directory);
    std::atomic<int> calls {0};
    std::optional<DatabaseObservation> self;
    std::mutex selfMutex;
    auto started = DatabaseObserver::observe(configuration, inlineExecutor(), [&] {
        ++calls;
        std::lock_guard lock(selfMutex);
        if (self)
            self->invalidate();
    });
    ASSERT_TRUE(started);
    {
        std::lock_guard lock(selfMutex);
        self.emplace(std::move(*started));
    }
    commitStatus(configuration, "/a", 1);
    ASSERT_TRUE(waitFor([&] { return calls.load() == 1; }, 5s));
    commitStatus(configuration, "/b", 1);

    // A second observer proves the monitor still runs and that /b was seen.
    std::atomic<int> otherCalls {0};
    auto other = DatabaseObserver::observe(configuration, inlineExecutor(), [&] { ++otherCalls; });
    ASSERT_TRUE(other);
    commitStatus(configuration, "/c", 1);
    ASSERT_TRUE(waitFor([&] { return otherCalls.load() >= 1; }, 5s));
    EXPECT_EQ(calls.load(), 1) << "no call after the observation ended itself";

    std::atomic<bool> writing {true};
    std::thread writer([&] {
        auto database = Database::open(configuration);
        ASSERT_TRUE(database);
        for (int index = 0; writing.load(); ++index) {
            auto written = database->write([&] { return database->add(StoredStatus {"/w", index}); });
            ASSERT_TRUE(written);
        }
    });
    std::atomic<int> churnCalls {0};
    for (int round = 0; round < 30; ++round) {
        auto observation = DatabaseObserver::observe(configuration, inlineExecutor(), [&] { ++churnCalls; });
        ASSERT_TRUE(observation);
        if (round % 2 == 0)
            waitFor([&] { return churnCalls.load() > round / 2; }, 1s);
    }
    writing = false;
    writer.join();
    EXPECT_GT(churnCalls.load(), 0);
}

TEST(DatabaseObserverTests, commitOfAnotherProcessIsToldWithinOneSecond)
{
    // A child process commits a row; the parent's observer is told within a second, woken by inotify rather than the fallback poll.
    TemporaryDirectory directory;
    auto configuration = testConfiguration(directory);
    configuration.fallbackPollInterval = std::chrono::minutes(10);
    std::atomic<int> calls {0};
    auto observation = DatabaseObserver::observe(configuration, inlineExecutor(), [&] { ++calls; });
    ASSERT_TRUE(observation) << observation.error().description();

    WriterProcess child(DATABASE_TEST_WRITER, {configuration.file.string(), "commit", "/from/child", "2"});
    int status = child.waitForExit();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(waitFor([&] { return calls.load() > 0; }, 1s));

    auto database = Database::open(configuration);
    ASSERT_TRUE(database);
    auto row = database->object<StoredStatus>(std::string("/from/child"));
    ASSERT_TRUE(row && row->has_value());
    EXPECT_EQ((*row)->status, 2);
}

TEST(DatabaseObserverTests, observingAnUnusableFileFails)
{
    // Observation opens the file like any handle and reports why it cannot.
    TemporaryDirectory directory;
    auto configuration = testConfiguration(directory);
    configuration.file = directory.path() / "missing" / "Cloud.realm";
    auto observation = DatabaseObserver::observe(configuration, inlineExecutor(), [] {});
    ASSERT_FALSE(observation);
    EXPECT_EQ(observation.error().code(), DatabaseError::Code::cannotOpen);
}

TEST(DatabaseObserverTests, observationFollowsAFileReplacedUnderItsPath)
{
    // When the file is deleted with its WAL and made anew, the observer reports the replacement, then the new file's commits, and its eventual close leaves the new file's WAL alone.
    TemporaryDirectory directory;
    auto configuration = testConfiguration(directory);
    configuration.fallbackPollInterval = std::chrono::minutes(10);
    commitStatus(configuration, "/old", 1);
    std::atomic<int> calls {0};
    auto observation = DatabaseObserver::observe(configuration, inlineExecutor(), [&] { ++calls; });
    ASSERT_TRUE(observation);

    ASSERT_TRUE(Database::removeFiles(configuration));
    EXPECT_FALSE(std::filesystem::exists(configuration.file));
    auto replacement = Database::open(configuration);
    ASSERT_TRUE(replacement) << replacement.error().description();
    ASSERT_TRUE(waitFor([&] { return calls.load() >= 1; }, std::chrono::seconds(5)));
    int afterReplacement = calls.load();
    ASSERT_TRUE(replacement->write([&] { return replacement->add(StoredStatus {"/new", 2}); }));
    EXPECT_TRUE(waitFor([&] { return calls.load() > afterReplacement; }, std::chrono::seconds(5)));

    observation->invalidate();
    auto reader = Database::open(configuration);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(*reader->exists<StoredStatus>(DatabaseQuery::equal("filePath", std::string("/old"))));
    auto row = reader->object<StoredStatus>(std::string("/new"));
    ASSERT_TRUE(row && row->has_value());
    EXPECT_EQ((*row)->status, 2);
}
