#include "Reactive/Signal.hpp"
#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Reactive;

TEST(SignalTests, DeliversToCurrentObserversAndStopsAfterTheTerminalEvent)
{
    // Observers see only what is sent after they joined; nothing passes the first terminal event.
    auto [signal, input] = Signal<int, std::string>::pipe();
    std::vector<int> early;
    std::vector<int> late;
    int completions = 0;
    signal.observeValues([&](int value) { early.push_back(value); });
    input.send(1);
    signal.observeValues([&](int value) { late.push_back(value); });
    signal.observeCompleted([&] { ++completions; });
    input.send(2);
    input.sendCompleted();
    input.send(3);
    input.sendFailed("late");
    input.sendCompleted();
    EXPECT_EQ(early, (std::vector<int> { 1, 2 }));
    EXPECT_EQ(late, (std::vector<int> { 2 }));
    EXPECT_EQ(completions, 1);
}

TEST(SignalTests, ObservingAnEndedSignalInterruptsAtOnce)
{
    // A late observer learns that the signal is over instead of waiting forever.
    auto [signal, input] = Signal<int, NoError>::pipe();
    input.sendCompleted();
    bool interrupted = false;
    auto disposable = signal.observeInterrupted([&] { interrupted = true; });
    EXPECT_TRUE(interrupted);
    EXPECT_TRUE(disposable.isDisposed());
}

TEST(SignalTests, DisposedObservationReceivesNothingMore)
{
    // Disposing an observation detaches only that observer.
    auto [signal, input] = Signal<int, NoError>::pipe();
    std::vector<int> kept;
    std::vector<int> dropped;
    signal.observeValues([&](int value) { kept.push_back(value); });
    auto observation = signal.observeValues([&](int value) { dropped.push_back(value); });
    input.send(1);
    observation.dispose();
    input.send(2);
    EXPECT_EQ(kept, (std::vector<int> { 1, 2 }));
    EXPECT_EQ(dropped, (std::vector<int> { 1 }));
}

TEST(SignalTests, PipeDisposableRunsWhenTheSignalTerminates)
{
    // The disposable given to the pipe ends with the signal.
    int disposed = 0;
    auto [signal, input] = Signal<int, NoError>::pipe(AnyDisposable([&] { ++disposed; }));
    input.send(1);
    EXPECT_EQ(disposed, 0);
    input.sendInterrupted();
    EXPECT_EQ(disposed, 1);
}

TEST(SignalTests, ReentrantSendIsDeliveredAfterTheCurrentEvent)
{
    // An observer that sends into its own signal neither deadlocks nor reorders: every observer sees 1 then 2.
    auto [signal, input] = Signal<int, NoError>::pipe();
    std::vector<int> first;
    std::vector<int> second;
    signal.observeValues([&, input = input](int value) {
        first.push_back(value);
        if (value == 1) {
            input.send(2);
            EXPECT_EQ(first.size(), 1u);
        }
    });
    signal.observeValues([&](int value) { second.push_back(value); });
    input.send(1);
    EXPECT_EQ(first, (std::vector<int> { 1, 2 }));
    EXPECT_EQ(second, (std::vector<int> { 1, 2 }));
    input.sendCompleted(); // The observer holds the input; ending releases it.
}

TEST(SignalTests, DerivedSignalsFollowTheirSource)
{
    // Signal operators behave like their producer counterparts on a hot stream.
    auto [signal, input] = Signal<int, NoError>::pipe();
    std::vector<std::string> seen;
    bool completed = false;
    auto derived = signal.filter([](int value) { return value % 2 == 0; }).map([](int value) { return std::to_string(value); });
    derived.observeValues([&](const std::string& value) { seen.push_back(value); });
    derived.observeCompleted([&] { completed = true; });
    for (int value = 1; value <= 4; ++value) {
        input.send(value);
    }
    input.sendCompleted();
    EXPECT_EQ(seen, (std::vector<std::string> { "2", "4" }));
    EXPECT_TRUE(completed);
}

TEST(SignalTests, FlatMapAndMergeOnSignals)
{
    // Signals run inner producers one after another with flatMap(concat), and merge interleaves signals.
    auto [signal, input] = Signal<int, NoError>::pipe();
    std::vector<int> seen;
    signal.flatMap(FlattenStrategy::concat, [](int value) { return SignalProducer<int, NoError>::fromValues({ value, value * 10 }); })
        .observeValues([&](int value) { seen.push_back(value); });
    input.send(1);
    input.send(2);
    EXPECT_EQ(seen, (std::vector<int> { 1, 10, 2, 20 }));

    auto [second, secondInput] = Signal<int, NoError>::pipe();
    std::vector<int> merged;
    bool completed = false;
    auto both = merge(std::vector { signal, second });
    both.observeValues([&](int value) { merged.push_back(value); });
    both.observeCompleted([&] { completed = true; });
    secondInput.send(5);
    input.send(3);
    input.sendCompleted();
    EXPECT_FALSE(completed);
    secondInput.sendCompleted();
    EXPECT_TRUE(completed);
    EXPECT_EQ(merged, (std::vector<int> { 5, 3 }));
}

TEST(SignalTests, UnobservedDerivedSignalStopsObservingItsSource)
{
    // A derived signal kept only by its observer lives as long as the observation, then detaches from its source.
    auto [signal, input] = Signal<int, NoError>::pipe();
    int detached = 0;
    std::vector<int> seen;
    auto observation = signal.on({ .disposed = [&] { ++detached; } })
                           .map([](int value) { return value + 1; })
                           .observeValues([&](int value) { seen.push_back(value); });
    input.send(1);
    EXPECT_EQ(seen, (std::vector<int> { 2 }));
    EXPECT_EQ(detached, 0);
    observation.dispose();
    EXPECT_EQ(detached, 1);
    input.send(2);
    EXPECT_EQ(seen, (std::vector<int> { 2 }));

    // Neither held nor observed: the derived signal goes away at once.
    int dropped = 0;
    signal.on({ .disposed = [&] { ++dropped; } });
    EXPECT_EQ(dropped, 1);
    input.sendCompleted();
}
