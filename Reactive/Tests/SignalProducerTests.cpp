#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Reactive;

namespace {

template<class V, class E>
std::vector<Event<V, E>> eventsOf(const SignalProducer<V, E>& producer)
{
    std::vector<Event<V, E>> events;
    producer.startWithEvents([&](const Event<V, E>& event) { events.push_back(event); });
    return events;
}

using IntEvent = Event<int, std::string>;

}

TEST(SignalProducerTests, FactoriesSendTheirEvents)
{
    // value, error, empty and fromValues each produce exactly their documented events.
    using Producer = SignalProducer<int, std::string>;
    EXPECT_EQ(eventsOf(Producer::value(5)), (std::vector { IntEvent::makeValue(5), IntEvent::makeCompleted() }));
    EXPECT_EQ(eventsOf(Producer::error("x")), (std::vector { IntEvent::makeFailed("x") }));
    EXPECT_EQ(eventsOf(Producer::empty()), (std::vector { IntEvent::makeCompleted() }));
    EXPECT_EQ(eventsOf(Producer::fromValues({ 1, 2 })),
        (std::vector { IntEvent::makeValue(1), IntEvent::makeValue(2), IntEvent::makeCompleted() }));
    EXPECT_EQ(eventsOf(Producer::fromResult(Result<int, std::string>(std::unexpect, "r"))), (std::vector { IntEvent::makeFailed("r") }));
    std::vector<IntEvent> fromNever;
    auto disposable = Producer::never().startWithEvents([&](const IntEvent& event) { fromNever.push_back(event); });
    EXPECT_TRUE(fromNever.empty());
    disposable.dispose();
    EXPECT_EQ(fromNever, (std::vector { IntEvent::makeInterrupted() }));
}

TEST(SignalProducerTests, EachStartRunsTheStartFunctionAnew)
{
    // A producer is cold: two starts run the work twice, each with its own observer.
    int starts = 0;
    SignalProducer<int, NoError> producer([&](Observer<int, NoError> observer, Lifetime) {
        ++starts;
        observer.send(starts);
        observer.sendCompleted();
    });
    std::vector<int> first;
    std::vector<int> second;
    producer.startWithValues([&](int value) { first.push_back(value); });
    producer.startWithValues([&](int value) { second.push_back(value); });
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(first, (std::vector<int> { 1 }));
    EXPECT_EQ(second, (std::vector<int> { 2 }));
}

TEST(SignalProducerTests, DisposingInterruptsAndEndsTheLifetimeOnce)
{
    // Disposal delivers interrupted, stops later values and ends the start's lifetime exactly once.
    std::optional<Observer<int, NoError>> input;
    int ended = 0;
    SignalProducer<int, NoError> producer([&](Observer<int, NoError> observer, Lifetime lifetime) {
        input = observer;
        lifetime.observeEnded([&] { ++ended; });
    });
    std::vector<Event<int, NoError>> events;
    auto disposable = producer.startWithEvents([&](const Event<int, NoError>& event) { events.push_back(event); });
    input->send(1);
    disposable.dispose();
    disposable.dispose();
    input->send(2);
    input->sendCompleted();
    EXPECT_EQ(ended, 1);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].value(), 1);
    EXPECT_TRUE(events[1].isInterrupted());
}

TEST(SignalProducerTests, TerminalEventEndsTheLifetime)
{
    // Completing by itself also ends the start's lifetime, so clean-up runs without a disposal.
    int ended = 0;
    SignalProducer<int, NoError> producer([&](Observer<int, NoError> observer, Lifetime lifetime) {
        lifetime.observeEnded([&] { ++ended; });
        observer.sendCompleted();
    });
    auto disposable = producer.start();
    EXPECT_EQ(ended, 1);
    disposable.dispose();
    EXPECT_EQ(ended, 1);
}

TEST(SignalProducerTests, ProducerFromSignalForwardsFromItsStart)
{
    // A producer made from a signal sees the signal's events sent after it was started.
    auto [signal, input] = Signal<int, NoError>::pipe();
    SignalProducer<int, NoError> producer(signal);
    input.send(1);
    std::vector<int> values;
    bool completed = false;
    producer.start(Observer<int, NoError>({ .value = [&](int value) { values.push_back(value); }, .completed = [&] { completed = true; } }));
    input.send(2);
    input.sendCompleted();
    EXPECT_EQ(values, (std::vector<int> { 2 }));
    EXPECT_TRUE(completed);
}

TEST(SignalProducerTests, StartWithResultReportsValuesAndFailure)
{
    // startWithResult turns values and the failure into results.
    std::vector<Result<int, std::string>> results;
    SignalProducer<int, std::string>([](Observer<int, std::string> observer, Lifetime) {
        observer.send(1);
        observer.sendFailed("no");
    }).startWithResult([&](Result<int, std::string> result) { results.push_back(result); });
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].value(), 1);
    EXPECT_EQ(results[1].error(), "no");
}
