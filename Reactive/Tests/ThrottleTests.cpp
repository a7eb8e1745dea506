#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using namespace Reactive;
using namespace std::chrono_literals;

namespace {

struct Timeline {
    std::shared_ptr<TestScheduler> scheduler = std::make_shared<TestScheduler>();
    std::vector<std::pair<int, DateScheduler::Duration>> values;
    bool completed = false;

    Observer<int, NoError> observer()
    {
        const auto start = scheduler->currentDate();
        return Observer<int, NoError>({
            .value = [this, start](int value) { values.emplace_back(value, scheduler->currentDate() - start); },
            .completed = [this] { completed = true; },
        });
    }
};

}

TEST(ThrottleTests, FirstValuePassesThenTheLatestPerInterval)
{
    // At 0 ms the first value passes; values at 20, 40 and 60 ms are held, the latest (60) is sent at 100 ms.
    Timeline timeline;
    auto [signal, input] = Signal<int, NoError>::pipe();
    SignalProducer<int, NoError>(signal).throttle(100ms, timeline.scheduler).start(timeline.observer());
    input.send(1);
    timeline.scheduler->advance();
    for (int value = 2; value <= 4; ++value) {
        timeline.scheduler->advance(20ms);
        input.send(value);
    }
    timeline.scheduler->advance(100ms);
    // Quiet for longer than the interval: the next value passes at once again.
    timeline.scheduler->advance(200ms);
    input.send(5);
    timeline.scheduler->advance();
    EXPECT_EQ(timeline.values, (std::vector<std::pair<int, DateScheduler::Duration>> { { 1, 0ms }, { 4, 100ms }, { 5, 360ms } }));
}

TEST(ThrottleTests, CompletionWaitsForTheHeldValueAndDisposalCancelsTheTimer)
{
    // A completion after a held value arrives after it; disposing leaves no scheduled work behind.
    Timeline timeline;
    auto [signal, input] = Signal<int, NoError>::pipe();
    SignalProducer<int, NoError>(signal).throttle(1s, timeline.scheduler).start(timeline.observer());
    input.send(1);
    input.send(2);
    timeline.scheduler->advance();
    input.send(3);
    input.sendCompleted();
    EXPECT_FALSE(timeline.completed);
    timeline.scheduler->advance(1s);
    EXPECT_TRUE(timeline.completed);
    EXPECT_EQ(timeline.values, (std::vector<std::pair<int, DateScheduler::Duration>> { { 2, 0ms }, { 3, 1000ms } }));

    Timeline disposed;
    auto [signal2, input2] = Signal<int, NoError>::pipe();
    auto disposable = SignalProducer<int, NoError>(signal2).throttle(1s, disposed.scheduler).start(disposed.observer());
    input2.send(1);
    disposed.scheduler->advance();
    input2.send(2);
    EXPECT_EQ(disposed.scheduler->pendingCount(), 1u);
    disposable.dispose();
    EXPECT_EQ(disposed.scheduler->pendingCount(), 0u);
}
