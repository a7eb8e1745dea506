#include "Sync/Schedule/SyncScheduler.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Reactive/Disposables/ScopedDisposable.hpp"
#include "Sync/Tests/SchedulerTestDoubles.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Sync;
using namespace Sync::Testing;
using namespace std::chrono_literals;

namespace {

constexpr auto interval = 60s;
constexpr auto refusal = "could not start. sync was already running";

// The scheduler with test doubles, every scheduler in one virtual clock.
struct Harness {
    std::shared_ptr<Reactive::TestScheduler> clock = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<TestSyncConfiguration> configuration = std::make_shared<TestSyncConfiguration>(interval);
    std::shared_ptr<TestCloudFolderPreparator> preparator = std::make_shared<TestCloudFolderPreparator>();
    std::shared_ptr<TestSyncExecutor> executor = std::make_shared<TestSyncExecutor>();
    std::shared_ptr<TestFileSystemTrigger> trigger = std::make_shared<TestFileSystemTrigger>();
    std::shared_ptr<TestRootEtagProvider> etags = std::make_shared<TestRootEtagProvider>();
    std::unique_ptr<SyncScheduler> scheduler;

    Platform::Date date() const { return Platform::Date::fromNanosecondsSince1970(clock->currentDate().time_since_epoch().count()); }

    void start()
    {
        SyncSchedulerOptions options { clock, clock, clock, [this] { return date(); } };
        scheduler = std::make_unique<SyncScheduler>(configuration, preparator, executor, trigger, etags, options);
    }
};

std::size_t countLines(const Platform::LogCapture& log, const std::string& text)
{
    auto lines = log.lines();
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

}

// Proves the first poll runs at once and starts a run; a later poll with the same etag starts nothing, and
// a changed etag starts exactly one run.
TEST(SyncSchedulerTests, PollsAtOnceAndStartsRunsOnlyForChangedEtags)
{
    Harness harness;
    harness.start();
    harness.clock->advance();
    EXPECT_EQ(harness.preparator->calls, 1);
    EXPECT_EQ(harness.etags->calls, 1);
    ASSERT_EQ(harness.executor->runCount(), 1u);
    harness.executor->complete();

    harness.clock->advance(interval);
    EXPECT_EQ(harness.etags->calls, 2);
    EXPECT_EQ(harness.executor->runCount(), 1u);

    harness.etags->setEtag("etag-2");
    harness.clock->advance(interval);
    EXPECT_EQ(harness.executor->runCount(), 2u);
    harness.executor->complete();
    harness.clock->advance(interval);
    EXPECT_EQ(harness.executor->runCount(), 2u);
}

// Proves a poll whose folder preparation fails after a successful poll starts a run without asking for
// the etag, and that the next successful poll, with the same etag as before, starts another.
TEST(SyncSchedulerTests, PreparationOutcomeChangesStartRuns)
{
    Harness harness;
    harness.start();
    harness.clock->advance();
    harness.executor->complete();

    harness.preparator->fails = true;
    harness.clock->advance(interval);
    EXPECT_EQ(harness.etags->calls, 1);
    ASSERT_EQ(harness.executor->runCount(), 2u);
    harness.executor->complete();
    harness.clock->advance(interval);
    EXPECT_EQ(harness.executor->runCount(), 2u); // Failing again is no change.

    harness.preparator->fails = false;
    harness.clock->advance(interval);
    EXPECT_EQ(harness.executor->runCount(), 3u);
}

// Proves ticks that come while a run executes are dropped before any poll, and polling resumes after it.
TEST(SyncSchedulerTests, TicksWhileExecutingAreSkipped)
{
    Harness harness;
    harness.start();
    harness.clock->advance();
    ASSERT_TRUE(harness.executor->isRunning());

    harness.clock->advance(3 * interval);
    EXPECT_EQ(harness.preparator->calls, 1);
    EXPECT_EQ(harness.etags->calls, 1);

    harness.executor->complete();
    harness.clock->advance(interval);
    EXPECT_EQ(harness.preparator->calls, 2);
}

// Proves a root etag request that never answers holds up polling for one interval only: it is then
// abandoned and the next tick polls again.
TEST(SyncSchedulerTests, HangingEtagRequestIsBoundedByTheInterval)
{
    Harness harness;
    harness.etags->hangs = true;
    harness.start();
    harness.clock->advance();
    EXPECT_EQ(harness.etags->calls, 1);

    harness.etags->hangs = false;
    harness.clock->advance(interval);
    EXPECT_EQ(harness.etags->abandoned, 1);
    EXPECT_EQ(harness.etags->calls, 2);
    EXPECT_EQ(harness.executor->runCount(), 1u);
}

// Proves switching sync off ends the running run as a completion (not an interruption), stops polling and
// shows `disabled`; switching it on again polls at once and starts a run though the etag is unchanged.
TEST(SyncSchedulerTests, SwitchingOffEndsTheRunAndStopsPolling)
{
    Harness harness;
    harness.start();
    std::vector<Reactive::Event<SyncEventPair, Reactive::NoError>::Kind> kinds;
    Reactive::ScopedDisposable observation(
        harness.scheduler->syncAction().events().observeValues([&](const auto& event) { kinds.push_back(event.kind()); }));
    harness.clock->advance();
    ASSERT_TRUE(harness.executor->isRunning());

    harness.configuration->enabled.set(false);
    EXPECT_EQ(harness.executor->disposedCount(), 1u);
    EXPECT_EQ(kinds, (std::vector { Reactive::Event<SyncEventPair, Reactive::NoError>::Kind::completed }));
    EXPECT_FALSE(harness.scheduler->syncAction().isExecuting().value());
    EXPECT_EQ(harness.scheduler->status().value(), SyncStatus::disabled());
    harness.clock->advance(3 * interval);
    EXPECT_EQ(harness.preparator->calls, 1);

    harness.configuration->enabled.set(true);
    harness.clock->advance();
    EXPECT_EQ(harness.preparator->calls, 2);
    EXPECT_EQ(harness.executor->runCount(), 2u);
}

// Proves an unreachable server shows `notReachable`, polls nothing and refuses local starts; becoming
// reachable polls at once.
TEST(SyncSchedulerTests, UnreachableServerShowsNotReachable)
{
    Harness harness;
    harness.configuration->reachable.set(false);
    Platform::LogCapture log;
    harness.start();
    harness.clock->advance(2 * interval);
    EXPECT_EQ(harness.scheduler->status().value(), SyncStatus::notReachable());
    EXPECT_EQ(harness.preparator->calls, 0);

    harness.trigger->fire();
    harness.clock->advance();
    EXPECT_EQ(harness.executor->runCount(), 0u);
    EXPECT_EQ(countLines(log, refusal), 1u);

    harness.configuration->reachable.set(true);
    EXPECT_EQ(harness.scheduler->status().value(), SyncStatus::allInSync(harness.date()));
    harness.clock->advance();
    EXPECT_EQ(harness.preparator->calls, 1);
    EXPECT_EQ(harness.executor->runCount(), 1u);
    EXPECT_TRUE(log.contains("sync activated"));
}

// Proves the status of a run: `allInSync` before, `checking` at its start, `syncing` at its events and
// `allInSync` with the date of its end afterwards; and `disabled` when sync is off from the start.
TEST(SyncSchedulerTests, StatusFollowsARun)
{
    Harness harness;
    harness.configuration->enabled.set(false);
    harness.start();
    EXPECT_EQ(harness.scheduler->status().value(), SyncStatus::disabled());
    harness.configuration->enabled.set(true);

    std::vector<SyncStatus> statuses;
    Reactive::ScopedDisposable observation(
        harness.scheduler->status().producer().startWithValues([&](const SyncStatus& status) { statuses.push_back(status); }));
    const auto before = harness.date();
    harness.clock->advance();
    harness.executor->sendEvent();
    harness.executor->sendEvent();
    harness.clock->advance(5s);
    harness.executor->complete();

    EXPECT_EQ(statuses, (std::vector { SyncStatus::allInSync(before), SyncStatus::checking(), SyncStatus::syncing(),
                            SyncStatus::allInSync(before.addingSeconds(5)) }));
}

// Proves a local trigger refused because a run executes is remembered once: several refusals are each
// logged, and one run follows when the executing run ends, no more.
TEST(SyncSchedulerTests, RefusedLocalTriggerIsRememberedOnce)
{
    Harness harness;
    Platform::LogCapture log;
    harness.start();
    harness.clock->advance();
    ASSERT_EQ(harness.executor->runCount(), 1u);

    harness.trigger->fire();
    harness.trigger->fire();
    harness.trigger->fire();
    EXPECT_EQ(countLines(log, refusal), 3u);
    EXPECT_EQ(harness.executor->runCount(), 1u);

    harness.executor->complete();
    harness.clock->advance();
    EXPECT_EQ(harness.executor->runCount(), 2u);
    harness.executor->complete();
    harness.clock->advance();
    EXPECT_EQ(harness.executor->runCount(), 2u);
}

// Proves a remembered local trigger is dropped when sync is switched off before the run ends, and that a
// local trigger while sync is off is refused and not remembered.
TEST(SyncSchedulerTests, RememberedLocalTriggerNeedsSyncSwitchedOn)
{
    Harness harness;
    Platform::LogCapture log;
    harness.start();
    harness.clock->advance();
    harness.trigger->fire();
    harness.configuration->enabled.set(false);
    harness.clock->advance();
    EXPECT_EQ(harness.executor->runCount(), 1u);

    harness.trigger->fire();
    harness.clock->advance();
    EXPECT_EQ(countLines(log, refusal), 2u);
    harness.configuration->reachable.set(false);
    harness.configuration->enabled.set(true);
    harness.clock->advance(interval);
    EXPECT_EQ(harness.executor->runCount(), 1u);
    EXPECT_TRUE(log.contains("sync deactivated"));
}

// Proves a local trigger starts a run while idle, and that a remote etag arriving during that run is
// refused and not remembered (the next poll with the same etag starts nothing).
TEST(SyncSchedulerTests, LocalTriggerStartsARunAndRemoteRefusalsAreLost)
{
    Harness harness;
    harness.start();
    harness.clock->advance();
    harness.executor->complete();

    harness.trigger->fire();
    EXPECT_EQ(harness.executor->runCount(), 2u);
    harness.etags->setEtag("etag-2");
    harness.executor->complete();
    harness.clock->advance(interval);
    ASSERT_EQ(harness.executor->runCount(), 3u); // the changed etag

    harness.trigger->fire();
    harness.etags->setEtag("etag-3");
    harness.clock->advance(interval); // skipped: a run executes
    harness.executor->complete();
    harness.executor->complete();
    EXPECT_EQ(harness.executor->runCount(), 3u);
}

// Proves destroying the scheduler ends a running run and leaves no timer behind.
TEST(SyncSchedulerTests, DestroyingEndsTheRunAndPolling)
{
    Harness harness;
    harness.start();
    harness.clock->advance();
    ASSERT_TRUE(harness.executor->isRunning());

    harness.scheduler.reset();
    EXPECT_EQ(harness.executor->disposedCount(), 1u);
    harness.clock->advance(3 * interval);
    EXPECT_EQ(harness.clock->pendingCount(), 0u);
    EXPECT_EQ(harness.preparator->calls, 1);
}

// Proves a run that ended with an error event is run again at the first tick at least 15 s after its
// end, though the etag is unchanged and without a poll, the wait doubling with every failure in a row,
// and that a clean run ends the retries.
TEST(SyncSchedulerTests, FailedRunsAreRetriedWithBackoffUntilACleanRun)
{
    Harness harness;
    harness.start();
    harness.clock->advance();
    ASSERT_EQ(harness.executor->runCount(), 1u);
    harness.executor->sendError();
    harness.executor->complete(); // t = 0: retried from 15 s on

    harness.clock->advance(interval); // t = 60
    ASSERT_EQ(harness.executor->runCount(), 2u);
    EXPECT_EQ(harness.etags->calls, 1);
    harness.executor->sendError();
    harness.executor->complete(); // from 90 s on

    harness.clock->advance(interval); // t = 120
    ASSERT_EQ(harness.executor->runCount(), 3u);
    harness.executor->sendError();
    harness.executor->complete(); // from 180 s on

    harness.clock->advance(interval); // t = 180
    ASSERT_EQ(harness.executor->runCount(), 4u);
    harness.executor->sendError();
    harness.executor->complete(); // from 300 s on

    harness.clock->advance(interval); // t = 240: an ordinary poll, nothing changed
    EXPECT_EQ(harness.executor->runCount(), 4u);
    EXPECT_EQ(harness.etags->calls, 2);
    harness.clock->advance(interval); // t = 300
    ASSERT_EQ(harness.executor->runCount(), 5u);
    harness.executor->complete(); // clean

    harness.clock->advance(5 * interval);
    EXPECT_EQ(harness.executor->runCount(), 5u);
    EXPECT_EQ(harness.etags->calls, 7);
}

// Proves a clean run after failures in a row starts the count afresh: the next failure is retried after the
// first, short wait again, not after the long one the earlier failures had reached.
TEST(SyncSchedulerTests, ACleanRunResetsTheBackoff)
{
    Harness harness;
    harness.start();
    harness.clock->advance();
    for (std::size_t failed = 1; failed <= 3; ++failed) { // at t = 0, 60, 120; the last waits 60 s
        ASSERT_EQ(harness.executor->runCount(), failed);
        harness.executor->sendError();
        harness.executor->complete();
        harness.clock->advance(interval);
    }
    ASSERT_EQ(harness.executor->runCount(), 4u); // t = 180
    harness.executor->complete(); // clean

    harness.etags->setEtag("etag-2");
    harness.clock->advance(interval); // t = 240: the changed etag starts a run, which fails
    ASSERT_EQ(harness.executor->runCount(), 5u);
    harness.executor->sendError();
    harness.executor->complete(); // from 255 s on; after a fourth failure in a row, from 360 s on

    harness.clock->advance(interval); // t = 300
    EXPECT_EQ(harness.executor->runCount(), 6u);
}

// Proves a retry cut short by switching sync off is no clean run: switched on again, the earlier failure still
// shows until a run ends, and the retry comes at once.
TEST(SyncSchedulerTests, ARunCutShortBySwitchingOffIsNoCleanRun)
{
    Harness harness;
    harness.start();
    harness.clock->advance();
    harness.executor->sendError();
    harness.executor->complete(); // t = 0: retried from 15 s on
    harness.clock->advance(interval); // t = 60
    ASSERT_EQ(harness.executor->runCount(), 2u);

    harness.configuration->enabled.set(false);
    EXPECT_EQ(harness.executor->disposedCount(), 1u);
    harness.configuration->enabled.set(true);
    EXPECT_EQ(harness.scheduler->status().value(), SyncStatus::failed());
    harness.clock->advance();
    EXPECT_EQ(harness.executor->runCount(), 3u);
}

// Proves the wait before a retry: 15 s after the first failure, doubling, never more than 10 minutes.
TEST(SyncSchedulerTests, RetryDelayDoublesUpToTenMinutes)
{
    EXPECT_EQ(SyncScheduler::retryDelay(1), 15s);
    EXPECT_EQ(SyncScheduler::retryDelay(2), 30s);
    EXPECT_EQ(SyncScheduler::retryDelay(6), 480s);
    EXPECT_EQ(SyncScheduler::retryDelay(7), 600s);
    EXPECT_EQ(SyncScheduler::retryDelay(1000), 600s);
}

// Proves a run that could not reach the service (no event at all, a run failure of the executor) is
// retried like one with error events, and a clean retry ends the retries.
TEST(SyncSchedulerTests, RunThatCouldNotReachTheServiceIsRetried)
{
    Harness harness;
    harness.start();
    harness.clock->advance();
    harness.executor->reportRunFailure();
    harness.executor->complete();

    harness.clock->advance(interval);
    ASSERT_EQ(harness.executor->runCount(), 2u);
    EXPECT_EQ(harness.preparator->calls, 2); // a retry prepares the folder as a poll does
    harness.executor->complete();
    harness.clock->advance(3 * interval);
    EXPECT_EQ(harness.executor->runCount(), 2u);
}

// Proves a run that ended with an error event leaves `failed` (never a moment of `allInSync`) until a
// clean run, and that an unreachable server shows `notReachable` rather than the failure.
TEST(SyncSchedulerTests, FailedRunShowsFailedUntilACleanRun)
{
    Harness harness;
    harness.start();
    std::vector<SyncStatus> statuses;
    Reactive::ScopedDisposable observation(
        harness.scheduler->status().producer().startWithValues([&](const SyncStatus& status) { statuses.push_back(status); }));
    harness.clock->advance();
    harness.executor->sendError();
    harness.executor->complete();
    EXPECT_EQ(statuses, (std::vector { SyncStatus::allInSync(harness.date()), SyncStatus::checking(), SyncStatus::syncing(),
                            SyncStatus::failed() }));

    harness.configuration->reachable.set(false);
    EXPECT_EQ(harness.scheduler->status().value(), SyncStatus::notReachable());
    harness.configuration->reachable.set(true);
    EXPECT_EQ(harness.scheduler->status().value(), SyncStatus::failed());

    harness.clock->advance(); // becoming reachable polls at once and starts a run
    ASSERT_EQ(harness.executor->runCount(), 2u);
    harness.executor->complete();
    EXPECT_EQ(harness.scheduler->status().value(), SyncStatus::allInSync(harness.date()));
}
