#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include "Sync/Run/SyncRun.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;
using Reactive::Event;
using Reactive::NoError;
using Reactive::Observer;

namespace {

// Waits until everything scheduled on the manager's queue so far has run.
void drainQueue(SyncManager& manager)
{
    std::mutex mutex;
    std::condition_variable ran;
    bool done = false;
    manager.queueScheduler()->schedule([&] {
        std::lock_guard lock(mutex);
        done = true;
        ran.notify_all();
    });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(ran.wait_for(lock, std::chrono::seconds(30), [&] { return done; }));
}

} // namespace

TEST(SyncRun, ObserversOfSyncEventsSeeEveryEventBeforeTheCaller)
{
    // Each event reaches syncEvents (and its bookkeeping) before whoever started the run.
    TestCloud cloud;
    cloud.writeFile("/a.txt", "a");
    cloud.writeFile("/b.txt", "b");
    std::atomic<int> observed { 0 };
    std::atomic<bool> ordered { true };
    cloud.manager->syncEvents().observeValues([&](const SyncEventPair&) { ++observed; });
    std::atomic<int> received { 0 };
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    auto handle = cloud.manager->performSync().start(
        Observer<SyncEventPair, NoError>::make([&](Event<SyncEventPair, NoError>&& event) {
            if (event.isValue()) {
                if (observed.load() != ++received) {
                    ordered = false;
                }
                // The bookkeeping has run already: a finished upload reads up to date.
                if (event.value().first.isFinished() && cloud.status(event.value().second.fileOperation()->file()->path())
                        != FileSyncStatus::upToDate) {
                    ordered = false;
                }
                return;
            }
            std::lock_guard lock(mutex);
            done = true;
            ended.notify_all();
        }));
    std::unique_lock lock(mutex);
    ASSERT_TRUE(ended.wait_for(lock, std::chrono::seconds(30), [&] { return done; }));
    EXPECT_EQ(received.load(), 4);
    EXPECT_TRUE(ordered.load());
}

TEST(SyncRun, DisposingARunStopsItAfterTheCurrentChange)
{
    // Disposing the run while a change reports its end starts no further
    // change; the next run does the rest. The uploads sent ahead of their
    // turn may have reached the server, but nothing of them is recorded:
    // the next run takes them in as it does after a crash.
    TestCloud cloud;
    for (const auto* name : { "/1.txt", "/2.txt", "/3.txt", "/4.txt" }) {
        cloud.writeFile(name, name);
    }
    Reactive::SerialDisposable runHandle;
    std::atomic<int> started { 0 };
    std::mutex mutex;
    std::condition_variable ended;
    bool interrupted = false;
    cloud.manager->syncEvents().observeValues([&](const SyncEventPair& pair) {
        if (!pair.first.isError() && !pair.first.isFinished()) {
            ++started;
        }
        if (pair.first.isFinished()) {
            runHandle.dispose();
        }
    });
    // Hold the queue until the handle is in place, so the first change cannot end before it.
    std::promise<void> handleSet;
    cloud.manager->queueScheduler()->schedule([gate = handleSet.get_future().share()] { gate.wait(); });
    runHandle.setInner(cloud.manager->performSync().start(
        Observer<SyncEventPair, NoError>::make([&](Event<SyncEventPair, NoError>&& event) {
            if (event.isTerminating()) {
                std::lock_guard lock(mutex);
                interrupted = event.isInterrupted();
                ended.notify_all();
            }
        })));
    handleSet.set_value();
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(ended.wait_for(lock, std::chrono::seconds(30), [&] { return interrupted; }));
    }
    // Let the queue drain twice: a run that went on would have started its next change by then.
    drainQueue(*cloud.manager);
    drainQueue(*cloud.manager);
    EXPECT_EQ(started.load(), 1);
    EXPECT_LE(cloud.server->paths().size(), SyncRun::transfersInFlight);
    EXPECT_EQ(cloud.storedPaths().size(), 1u);

    auto rest = cloud.sync();
    ASSERT_TRUE(rest.completed);
    expectInStep(cloud);
}

TEST(SyncRun, RepetitionsStopWhenNothingCanChange)
{
    // A child whose new parent folder cannot be created stays invalid: the
    // phase is repeated once, then given up, instead of twenty times.
    TestCloud cloud;
    cloud.writeFile("/New/child.txt", "child");
    cloud.server->failAlways(Call::createFolder);

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(cloud.server->callCount(Call::createFolder), 2);
    EXPECT_EQ(cloud.server->callCount(Call::upload), 0);
    EXPECT_EQ(cloud.status("/New"), FileSyncStatus::error);
}

TEST(SyncRun, RepetitionsGoOnWhileChangesSucceed)
{
    // Nested new folders need one repetition per level, beyond the early stop's reach.
    TestCloud cloud;
    cloud.writeFile("/1/2/3/4/5/6/leaf.txt", "leaf");

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(cloud.server->contentAt("/1/2/3/4/5/6/leaf.txt"), "leaf");
    expectInStep(cloud);
}

TEST(SyncRun, StaleSyncingMarksAreClearedWhenARunStarts)
{
    // A `syncing` mark left by an interrupted run reads up to date once the next run starts.
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "a");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.statusStore->setStatus(Platform::URL::fileURL(cloud.diskPath("/a.txt")), FileSyncStatus::syncing);

    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.status("/a.txt"), FileSyncStatus::upToDate);
    EXPECT_FALSE(cloud.statusStore->hasSyncingFiles());
}

TEST(SyncRun, AServerThatAnswersOnItsOwnThreadSyncsBothWays)
{
    // Reactions run on the server's delivery thread and the run goes on from
    // there: a two-way sync still ends in step (ThreadSanitizer checks the hand-overs).
    TestCloud cloud;
    cloud.server->setDeliveryScheduler(Reactive::QueueScheduler::make("server"));
    cloud.server->addFile("/Down/a.txt", "a");
    cloud.writeFile("/Up/b.txt", "b");

    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/Up/b.txt", "b2");
    cloud.server->setContent("/Down/a.txt", "a2");
    ASSERT_TRUE(cloud.sync().completed);

    EXPECT_EQ(cloud.server->contentAt("/Up/b.txt"), "b2");
    EXPECT_EQ(cloud.readFile("/Down/a.txt"), "a2");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(SyncRun, APhaseRunsAtMostTwentyOneTimes)
{
    // Each pass of the local phase creates one more level of new folders: twenty levels and the file below them
    // go up in one run (the first pass and twenty repetitions), a twenty-first level leaves the file for the next run.
    for (int depth : { 20, 21 }) {
        SCOPED_TRACE(depth);
        TestCloud cloud;
        std::string folder;
        for (int level = 1; level <= depth; ++level)
            folder += "/" + std::to_string(level);
        cloud.writeFile(folder + "/leaf.txt", "leaf");

        auto run = cloud.sync();

        ASSERT_TRUE(run.completed);
        EXPECT_EQ(cloud.server->callCount(Call::createFolder), depth);
        EXPECT_EQ(cloud.server->contentAt(folder + "/leaf.txt").has_value(), depth <= 20);
    }
}
