#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace Reactive;

namespace {

template<class V, class E>
std::vector<V> valuesOf(const SignalProducer<V, E>& producer)
{
    std::vector<V> values;
    producer.startWithValues([&](const V& value) { values.push_back(value); });
    return values;
}

using Ints = SignalProducer<int, std::string>;

}

TEST(ValueOperatorTests, MapFilterAndFilterMapChain)
{
    // Chained value operators apply in order.
    auto producer = Ints::fromValues({ 1, 2, 3, 4, 5, 6 })
                        .map([](int value) { return value * 10; })
                        .filter([](int value) { return value > 20; })
                        .filterMap([](int value) -> std::optional<std::string> {
                            if (value == 50) return std::nullopt;
                            return std::to_string(value);
                        });
    EXPECT_EQ(valuesOf(producer), (std::vector<std::string> { "30", "40", "60" }));
}

TEST(ValueOperatorTests, SkipNilUnwrapsAndSkipRepeatsDropsEqualNeighbours)
{
    // skipNil drops nothings; skipRepeats drops only a value equal to the one right before it.
    auto optionals = SignalProducer<std::optional<int>, NoError>::fromValues({ 1, std::nullopt, 2 });
    EXPECT_EQ(valuesOf(optionals.skipNil()), (std::vector<int> { 1, 2 }));
    EXPECT_EQ(valuesOf(Ints::fromValues({ 1, 1, 2, 2, 1 }).skipRepeats()), (std::vector<int> { 1, 2, 1 }));
    auto sameParity = [](int left, int right) { return left % 2 == right % 2; };
    EXPECT_EQ(valuesOf(Ints::fromValues({ 1, 3, 4, 6, 7 }).skipRepeats(sameParity)), (std::vector<int> { 1, 4, 7 }));
}

TEST(ValueOperatorTests, TakeCompletesAfterCountAndDisposesUpstream)
{
    // take(n) sends n values, completes, and ends the upstream work right away.
    std::optional<Observer<int, NoError>> input;
    bool upstreamEnded = false;
    SignalProducer<int, NoError> source([&](Observer<int, NoError> observer, Lifetime lifetime) {
        input = observer;
        lifetime.observeEnded([&] { upstreamEnded = true; });
    });
    std::vector<int> values;
    bool completed = false;
    source.take(2).start(Observer<int, NoError>({ .value = [&](int value) { values.push_back(value); }, .completed = [&] { completed = true; } }));
    input->send(1);
    EXPECT_FALSE(upstreamEnded);
    input->send(2);
    input->send(3);
    EXPECT_EQ(values, (std::vector<int> { 1, 2 }));
    EXPECT_TRUE(completed);
    EXPECT_TRUE(upstreamEnded);

    bool zeroCompleted = false;
    Ints::fromValues({ 1 }).take(0).startWithCompleted([&] { zeroCompleted = true; });
    EXPECT_TRUE(zeroCompleted);
}

TEST(ValueOperatorTests, AttemptMapFailsWithTheFirstError)
{
    // attemptMap passes successes and ends the stream with the first error; values after it are not transformed.
    std::vector<int> values;
    std::vector<int> transformed;
    std::optional<std::string> error;
    // The source sends on without looking at its lifetime.
    Ints([](Observer<int, std::string> observer, Lifetime) {
        for (int value : { 1, 2, 3 }) {
            observer.send(value);
        }
    })
        .attemptMap([&](int value) -> Result<int, std::string> {
            transformed.push_back(value);
            if (value == 2) return std::unexpected(std::string("two"));
            return value;
        })
        .start(Observer<int, std::string>({ .value = [&](int value) { values.push_back(value); }, .failed = [&](const std::string& e) { error = e; } }));
    EXPECT_EQ(values, (std::vector<int> { 1 }));
    EXPECT_EQ(transformed, (std::vector<int> { 1, 2 }));
    EXPECT_EQ(error, "two");
}

TEST(ValueOperatorTests, CollectSendsAllValuesOnCompletionOnly)
{
    // collect gathers every value into one array; a failure passes without an array.
    EXPECT_EQ(valuesOf(Ints::fromValues({ 1, 2, 3 }).collect()), (std::vector<std::vector<int>> { { 1, 2, 3 } }));
    EXPECT_EQ(valuesOf(Ints::fromValues({}).collect()), (std::vector<std::vector<int>> { {} }));
    EXPECT_TRUE(valuesOf(Ints::error("x").collect()).empty());
}

TEST(ValueOperatorTests, IgnoreValuesSendsOneEmptyValuePerValue)
{
    // Three values become three empty values; the failure passes unchanged.
    std::vector<Event<Unit, std::string>> events;
    SignalProducer<std::string, std::string>([](Observer<std::string, std::string> observer, Lifetime) {
        observer.send("/a");
        observer.send("/b");
        observer.send("/c");
        observer.sendFailed("gone");
    })
        .ignoreValues()
        .startWithEvents([&](const Event<Unit, std::string>& event) { events.push_back(event); });
    ASSERT_EQ(events.size(), 4u);
    EXPECT_TRUE(events[2].isValue());
    EXPECT_EQ(events[3].error(), "gone");
}

TEST(ValueOperatorTests, MaterializeAndDematerializeRoundTrip)
{
    // Every event becomes a value and back again, including the failure.
    auto source = SignalProducer<int, std::string>([](Observer<int, std::string> observer, Lifetime) {
        observer.send(1);
        observer.sendFailed("bad");
    });
    auto materialized = valuesOf(source.materialize());
    ASSERT_EQ(materialized.size(), 2u);
    EXPECT_TRUE(materialized[1].isFailed());

    std::vector<Event<int, std::string>> events;
    source.materialize().dematerialize().startWithEvents([&](const Event<int, std::string>& event) { events.push_back(event); });
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].value(), 1);
    EXPECT_EQ(events[1].error(), "bad");

    // The materialized producer itself ends after the event that ended its source: a failure or a completion
    // completes it, an interruption interrupts it.
    using Materialized = Event<Event<int, std::string>, NoError>;
    auto ends = [](SignalProducer<int, std::string> producer) {
        std::vector<typename Materialized::Kind> kinds;
        producer.materialize().startWithEvents([&](const Materialized& event) { kinds.push_back(event.kind()); });
        return kinds;
    };
    using Kind = Materialized::Kind;
    EXPECT_EQ(ends(source), (std::vector<Kind> { Kind::value, Kind::value, Kind::completed }));
    EXPECT_EQ(ends(SignalProducer<int, std::string>::empty()), (std::vector<Kind> { Kind::value, Kind::completed }));
    EXPECT_EQ(ends(SignalProducer<int, std::string>([](Observer<int, std::string> observer, Lifetime) { observer.sendInterrupted(); })),
        (std::vector<Kind> { Kind::value, Kind::interrupted }));
}
