#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using namespace Reactive;
using namespace std::chrono_literals;

TEST(TimerTests, TicksEveryIntervalWithTheSchedulersDateUntilDisposed)
{
    // The timer sends the virtual date once per interval, starting one interval after the start, and stops when disposed.
    auto scheduler = std::make_shared<TestScheduler>();
    const auto start = scheduler->currentDate();
    std::vector<DateScheduler::Duration> ticks;
    auto disposable = timer(10s, scheduler).startWithValues([&](DateScheduler::TimePoint date) { ticks.push_back(date - start); });
    scheduler->advance(9s);
    EXPECT_TRUE(ticks.empty());
    scheduler->advance(26s);
    EXPECT_EQ(ticks, (std::vector<DateScheduler::Duration> { 10s, 20s, 30s }));
    disposable.dispose();
    EXPECT_EQ(scheduler->pendingCount(), 0u);
    scheduler->advance(100s);
    EXPECT_EQ(ticks.size(), 3u);
}

TEST(TimerTests, ImmediateFirstTickThroughPrefix)
{
    // A timer with a first tick at once: the start's date, then one per interval.
    auto scheduler = std::make_shared<TestScheduler>();
    const auto start = scheduler->currentDate();
    std::vector<DateScheduler::Duration> ticks;
    auto disposable = timer(5s, scheduler).prefix(scheduler->currentDate()).startWithValues([&](DateScheduler::TimePoint date) { ticks.push_back(date - start); });
    scheduler->advance(10s);
    EXPECT_EQ(ticks, (std::vector<DateScheduler::Duration> { 0s, 5s, 10s }));
    disposable.dispose();
}
