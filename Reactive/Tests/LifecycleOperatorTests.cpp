#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace Reactive;

TEST(LifecycleOperatorTests, OnRunsHooksInOrder)
{
    // The hooks of on(...) run at the documented moments, each once.
    std::vector<std::string> calls;
    SignalProducer<int, std::string>::value(1)
        .on({ .starting = [&] { calls.push_back("starting"); },
            .started = [&] { calls.push_back("started"); },
            .value = [&](int) { calls.push_back("value"); },
            .completed = [&] { calls.push_back("completed"); },
            .terminated = [&] { calls.push_back("terminated"); },
            .disposed = [&] { calls.push_back("disposed"); } })
        .startWithValues([&](int) { calls.push_back("observer"); });
    EXPECT_EQ(calls, (std::vector<std::string> { "starting", "value", "observer", "completed", "terminated", "disposed", "started" }));
}

TEST(LifecycleOperatorTests, StartOnRunsTheStartFunctionOnTheScheduler)
{
    // The start function runs only when the scheduler runs it; disposing first means it never runs.
    auto scheduler = std::make_shared<TestScheduler>();
    int starts = 0;
    SignalProducer<int, NoError> producer([&](Observer<int, NoError> observer, Lifetime) {
        ++starts;
        observer.send(1);
    });
    std::vector<int> values;
    auto started = producer.startOn(scheduler).startWithValues([&](int value) { values.push_back(value); });
    EXPECT_EQ(starts, 0);
    scheduler->advance();
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(values, (std::vector<int> { 1 }));
    started.dispose();

    producer.startOn(scheduler).start().dispose();
    scheduler->advance();
    EXPECT_EQ(starts, 1);
}

TEST(LifecycleOperatorTests, ObserveOnDeliversOnTheSchedulerWithHappensBefore)
{
    // Events sent on the caller's thread arrive on the scheduler's thread, in order, with the sender's writes visible.
    auto scheduler = QueueScheduler::make();
    auto [signal, input] = Signal<int, NoError>::pipe();
    std::vector<int> written; // Plain memory: only the hand-over orders the sender's write and the observer's read.
    std::vector<int> received;
    std::atomic<int> delivered { 0 };
    std::atomic<bool> completed { false };
    std::thread::id deliveredOn;
    auto started = SignalProducer<int, NoError>(signal).observeOn(scheduler).start(Observer<int, NoError>({
        .value = [&](int value) {
            EXPECT_EQ(written.back(), value);
            received.push_back(value);
            deliveredOn = std::this_thread::get_id();
            delivered.fetch_add(1);
        },
        .completed = [&] { completed = true; },
    }));
    for (int value = 0; value < 50; ++value) {
        written.push_back(value);
        input.send(value);
        // The next write waits for this delivery, so the vector is never touched by both threads at once.
        while (delivered.load() != value + 1) {
            std::this_thread::yield();
        }
    }
    input.sendCompleted();
    while (!completed.load()) {
        std::this_thread::yield();
    }
    EXPECT_EQ(received, written);
    EXPECT_NE(deliveredOn, std::this_thread::get_id());
}

TEST(LifecycleOperatorTests, TakeDuringCompletesWhenTheLifetimeEnds)
{
    // take(during:) completes (not interrupts) when the lifetime ends, and at once for an ended lifetime.
    auto [lifetime, token] = Lifetime::make();
    bool completed = false;
    SignalProducer<int, NoError>::never().takeDuring(lifetime).startWithCompleted([&] { completed = true; });
    EXPECT_FALSE(completed);
    token.end();
    EXPECT_TRUE(completed);

    bool completedAtOnce = false;
    SignalProducer<int, NoError>::never().takeDuring(Lifetime::empty()).startWithCompleted([&] { completedAtOnce = true; });
    EXPECT_TRUE(completedAtOnce);
}
