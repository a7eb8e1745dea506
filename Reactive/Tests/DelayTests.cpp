#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using namespace Reactive;
using namespace std::chrono_literals;

TEST(DelayTests, ShiftsValuesAndCompletionButNotFailure)
{
    // delay moves values and completion by the interval; a failure passes at once.
    auto scheduler = std::make_shared<TestScheduler>();
    std::vector<Event<int, int>> events;
    SignalProducer<int, int>::fromValues({ 1, 2 }).delay(2s, scheduler).startWithEvents([&](const Event<int, int>& event) { events.push_back(event); });
    scheduler->advance(1s);
    EXPECT_TRUE(events.empty());
    scheduler->advance(1s);
    EXPECT_EQ(events.size(), 3u);

    std::vector<Event<int, int>> failed;
    SignalProducer<int, int>::error(7).delay(2s, scheduler).startWithEvents([&](const Event<int, int>& event) { failed.push_back(event); });
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].error(), 7);
}
