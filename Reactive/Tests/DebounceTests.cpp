#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using namespace Reactive;
using namespace std::chrono_literals;

TEST(DebounceTests, SendsOnlyAfterAQuietInterval)
{
    // Values closer together than the interval collapse into the last one, sent one interval after it.
    auto scheduler = std::make_shared<TestScheduler>();
    const auto start = scheduler->currentDate();
    auto [signal, input] = Signal<int, NoError>::pipe();
    std::vector<std::pair<int, DateScheduler::Duration>> values;
    SignalProducer<int, NoError>(signal).debounce(1s, scheduler).startWithValues([&](int value) {
        values.emplace_back(value, scheduler->currentDate() - start);
    });
    input.send(1);
    scheduler->advance(500ms);
    input.send(2);
    scheduler->advance(999ms);
    EXPECT_TRUE(values.empty());
    scheduler->advance(1ms);
    input.send(3);
    scheduler->advance(5s);
    EXPECT_EQ(values, (std::vector<std::pair<int, DateScheduler::Duration>> { { 2, 1500ms }, { 3, 2500ms } }));
    input.sendCompleted();
}
