#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace Reactive;

namespace {

// Inner producers the test controls by hand: each start is recorded with its input and whether it has ended.
struct ManualInner {
    std::map<int, Observer<int, std::string>> inputs;
    std::map<int, int> starts;
    std::map<int, int> ended;

    SignalProducer<int, std::string> make(int key)
    {
        return SignalProducer<int, std::string>([this, key](Observer<int, std::string> observer, Lifetime lifetime) {
            inputs.insert_or_assign(key, observer);
            ++starts[key];
            lifetime.observeEnded([this, key] { ++ended[key]; });
        });
    }
};

}

TEST(FlattenTests, LatestDisposesThePreviousInnerProducer)
{
    // flatMap(latest) ends the running inner producer when a new outer value arrives and ignores its late values.
    ManualInner inner;
    auto [outer, outerInput] = Signal<int, std::string>::pipe();
    std::vector<int> values;
    bool completed = false;
    SignalProducer<int, std::string>(outer)
        .flatMap(FlattenStrategy::latest, [&](int key) { return inner.make(key); })
        .start(Observer<int, std::string>({ .value = [&](int value) { values.push_back(value); }, .completed = [&] { completed = true; } }));
    outerInput.send(1);
    inner.inputs.at(1).send(10);
    outerInput.send(2);
    EXPECT_EQ(inner.ended[1], 1);
    EXPECT_EQ(inner.ended[2], 0);
    inner.inputs.at(1).send(11);
    inner.inputs.at(2).send(20);
    outerInput.sendCompleted();
    EXPECT_FALSE(completed);
    inner.inputs.at(2).sendCompleted();
    EXPECT_TRUE(completed);
    EXPECT_EQ(values, (std::vector<int> { 10, 20 }));
}

TEST(FlattenTests, ConcatQueuesInnerProducersInArrivalOrder)
{
    // flatMap(concat) starts an inner producer only when the one before it has completed.
    ManualInner inner;
    auto [outer, outerInput] = Signal<int, std::string>::pipe();
    std::vector<int> values;
    bool completed = false;
    SignalProducer<int, std::string>(outer)
        .flatMap(FlattenStrategy::concat, [&](int key) { return inner.make(key); })
        .start(Observer<int, std::string>({ .value = [&](int value) { values.push_back(value); }, .completed = [&] { completed = true; } }));
    outerInput.send(1);
    outerInput.send(2);
    outerInput.send(3);
    outerInput.sendCompleted();
    EXPECT_EQ(inner.starts[1], 1);
    EXPECT_EQ(inner.starts[2], 0);
    inner.inputs.at(1).send(10);
    inner.inputs.at(1).sendCompleted();
    EXPECT_EQ(inner.starts[2], 1);
    EXPECT_EQ(inner.starts[3], 0);
    inner.inputs.at(2).sendCompleted();
    inner.inputs.at(3).send(30);
    EXPECT_FALSE(completed);
    inner.inputs.at(3).sendCompleted();
    EXPECT_TRUE(completed);
    EXPECT_EQ(values, (std::vector<int> { 10, 30 }));
}

TEST(FlattenTests, ConcatOfManySynchronousProducersDoesNotNest)
{
    // Ten thousand inner producers that complete during their start run in order without deep recursion.
    std::vector<int> keys(10000);
    for (int index = 0; index < 10000; ++index) {
        keys[static_cast<std::size_t>(index)] = index;
    }
    long long sum = 0;
    bool completed = false;
    SignalProducer<int, NoError>::fromValues(keys)
        .flatMap(FlattenStrategy::concat, [](int key) { return SignalProducer<int, NoError>::value(key); })
        .start(Observer<int, NoError>({ .value = [&](int value) { sum += value; }, .completed = [&] { completed = true; } }));
    EXPECT_EQ(sum, 49995000);
    EXPECT_TRUE(completed);
}

TEST(FlattenTests, MergeRunsInnerProducersTogether)
{
    // flatMap(merge) interleaves inner values and completes after the outer and all inner producers.
    ManualInner inner;
    auto [outer, outerInput] = Signal<int, std::string>::pipe();
    std::vector<int> values;
    bool completed = false;
    SignalProducer<int, std::string>(outer)
        .flatMap(FlattenStrategy::merge, [&](int key) { return inner.make(key); })
        .start(Observer<int, std::string>({ .value = [&](int value) { values.push_back(value); }, .completed = [&] { completed = true; } }));
    outerInput.send(1);
    outerInput.send(2);
    inner.inputs.at(2).send(20);
    inner.inputs.at(1).send(10);
    inner.inputs.at(1).sendCompleted();
    outerInput.sendCompleted();
    EXPECT_FALSE(completed);
    inner.inputs.at(2).sendCompleted();
    EXPECT_TRUE(completed);
    EXPECT_EQ(values, (std::vector<int> { 20, 10 }));
}

TEST(FlattenTests, InnerFailureFailsTheResultAndDisposalEndsEveryInner)
{
    // A failing inner producer fails the whole stream; disposing ends the running inner producers.
    ManualInner inner;
    auto [outer, outerInput] = Signal<int, std::string>::pipe();
    std::optional<std::string> error;
    SignalProducer<int, std::string>(outer)
        .flatMap(FlattenStrategy::merge, [&](int key) { return inner.make(key); })
        .startWithFailed([&](const std::string& e) { error = e; });
    outerInput.send(1);
    inner.inputs.at(1).sendFailed("inner");
    EXPECT_EQ(error, "inner");

    ManualInner second;
    auto [outer2, outerInput2] = Signal<int, std::string>::pipe();
    auto disposable = SignalProducer<int, std::string>(outer2).flatMap(FlattenStrategy::merge, [&](int key) { return second.make(key); }).start();
    outerInput2.send(1);
    outerInput2.send(2);
    disposable.dispose();
    EXPECT_EQ(second.ended[1], 1);
    EXPECT_EQ(second.ended[2], 1);
}

TEST(FlattenTests, MergeFunctionCombinesProducers)
{
    // merge(a, b) delivers both producers' values and completes when both are done.
    auto merged = merge(SignalProducer<int, NoError>::fromValues({ 1, 2 }), SignalProducer<int, NoError>::fromValues({ 3 }));
    std::vector<int> values;
    bool completed = false;
    merged.start(Observer<int, NoError>({ .value = [&](int value) { values.push_back(value); }, .completed = [&] { completed = true; } }));
    EXPECT_EQ(values, (std::vector<int> { 1, 2, 3 }));
    EXPECT_TRUE(completed);
}
