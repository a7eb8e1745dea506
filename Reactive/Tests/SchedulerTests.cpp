#include "Reactive/Schedulers/ImmediateScheduler.hpp"
#include "Reactive/Schedulers/PumpableMainLoop.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace Reactive;
using namespace std::chrono_literals;

namespace {

// Waits for a condition with a deadline instead of sleeping a fixed time.
template<class F>
bool waitFor(F condition, std::chrono::milliseconds timeout = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

}

TEST(SchedulerTests, ImmediateRunsInline)
{
    // The immediate scheduler runs the work before schedule returns.
    bool ran = false;
    ImmediateScheduler::shared()->schedule([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(SchedulerTests, QueueSchedulerRunsInOrderOnItsOwnThread)
{
    // Work runs serially, in scheduling order, on one thread that is not the caller's; a disposed item never runs.
    auto scheduler = QueueScheduler::make("Test.Queue");
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::atomic<int> done { 0 };
    auto cancelled = scheduler->schedule(scheduler->currentDate() + 1h, [&] { order.push_back(-1); });
    for (int index = 0; index < 100; ++index) {
        scheduler->schedule([&, index] {
            std::lock_guard lock(mutex);
            order.push_back(index);
            threads.push_back(std::this_thread::get_id());
            EXPECT_TRUE(scheduler->isCurrent());
            done.fetch_add(1);
        });
    }
    cancelled.dispose();
    ASSERT_TRUE(waitFor([&] { return done.load() == 100; }));
    std::lock_guard lock(mutex);
    for (int index = 0; index < 100; ++index) {
        EXPECT_EQ(order[static_cast<std::size_t>(index)], index);
        EXPECT_EQ(threads[static_cast<std::size_t>(index)], threads[0]);
    }
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_EQ(scheduler->name(), "Test.Queue");
}

TEST(SchedulerTests, QueueSchedulerRepeatsUntilDisposed)
{
    // A repeating timer ticks until its handle is disposed, then stops.
    auto scheduler = QueueScheduler::make();
    std::atomic<int> ticks { 0 };
    auto timer = scheduler->schedule(scheduler->currentDate(), 1ms, [&] { ticks.fetch_add(1); });
    ASSERT_TRUE(waitFor([&] { return ticks.load() >= 3; }));
    timer.dispose();
    // A tick already running may finish; after a barrier item nothing more arrives.
    std::atomic<bool> barrier { false };
    scheduler->schedule([&] { barrier = true; });
    ASSERT_TRUE(waitFor([&] { return barrier.load(); }));
    const int afterDisposal = ticks.load();
    std::atomic<bool> secondBarrier { false };
    scheduler->schedule(scheduler->currentDate() + 5ms, [&] { secondBarrier = true; });
    ASSERT_TRUE(waitFor([&] { return secondBarrier.load(); }));
    EXPECT_EQ(ticks.load(), afterDisposal);
}

TEST(SchedulerTests, QueueSchedulerMayBeReleasedFromItsOwnWork)
{
    // Dropping the last reference from work on the scheduler's thread neither deadlocks nor crashes.
    auto scheduler = QueueScheduler::make();
    std::atomic<bool> ran { false };
    std::atomic<bool> scheduled { false };
    auto* raw = scheduler.get();
    raw->schedule([&ran, &scheduled, keep = std::move(scheduler)]() mutable {
        // Waits until the call that scheduled this work has returned.
        while (!scheduled.load()) {
            std::this_thread::yield();
        }
        keep.reset();
        ran = true;
    });
    scheduled = true;
    EXPECT_TRUE(waitFor([&] { return ran.load(); }));
}

TEST(SchedulerTests, TestSchedulerRunsInVirtualTime)
{
    // Work runs only when the clock is advanced past its date, in date order, and the clock reads each date.
    TestScheduler scheduler;
    const auto start = scheduler.currentDate();
    std::vector<std::pair<int, DateScheduler::Duration>> runs;
    auto record = [&](int id) { return [&, id] { runs.emplace_back(id, scheduler.currentDate() - start); }; };
    scheduler.schedule(start + 2s, record(2));
    scheduler.schedule(start + 1s, record(1));
    scheduler.schedule(record(0));
    auto cancelled = scheduler.schedule(start + 1s, record(9));
    cancelled.dispose();
    EXPECT_TRUE(runs.empty());
    scheduler.advance();
    ASSERT_EQ(runs.size(), 1u);
    scheduler.advance(1500ms);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1], std::make_pair(1, DateScheduler::Duration(1s)));
    EXPECT_EQ(scheduler.currentDate() - start, 1500ms);
    scheduler.run();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[2], std::make_pair(2, DateScheduler::Duration(2s)));
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(SchedulerTests, TestSchedulerRepeatsOnTheInterval)
{
    // A repeating timer in virtual time ticks once per interval until disposed.
    TestScheduler scheduler;
    int ticks = 0;
    auto timer = scheduler.schedule(scheduler.currentDate() + 1s, 1s, [&] { ++ticks; });
    scheduler.advance(3500ms);
    EXPECT_EQ(ticks, 3);
    timer.dispose();
    scheduler.advance(10s);
    EXPECT_EQ(ticks, 3);
}

TEST(SchedulerTests, UISchedulerRunsOnTheMainLoop)
{
    // On the main thread with nothing queued work runs inline; from another thread it waits for the pump.
    auto loop = std::make_shared<PumpableMainLoop>();
    UIScheduler scheduler(loop);
    bool inline_ = false;
    scheduler.schedule([&] { inline_ = true; });
    EXPECT_TRUE(inline_);

    std::atomic<bool> ran { false };
    std::thread::id ranOn;
    std::thread worker([&] { scheduler.schedule([&] { ranOn = std::this_thread::get_id(); ran = true; }); });
    worker.join();
    EXPECT_FALSE(ran.load());
    EXPECT_TRUE(loop->pumpUntil([&] { return ran.load(); }, 5s));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(SchedulerTests, MainQueueSchedulerAlwaysPostsAndRunsTimers)
{
    // The main-queue scheduler never runs inline; its timers run when the loop is pumped after their date.
    auto loop = std::make_shared<PumpableMainLoop>();
    MainQueueScheduler scheduler(loop);
    std::vector<int> order;
    scheduler.schedule([&] { order.push_back(1); });
    scheduler.schedule(scheduler.currentDate() + 2ms, [&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(loop->pumpUntil([&] { return order.size() == 2; }, 5s));
    EXPECT_EQ(order, (std::vector<int> { 1, 2 }));
    EXPECT_FALSE(loop->pumpUntil([] { return false; }, 1ms));
}
