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

using Ints = SignalProducer<int, std::string>;
using IntEvent = Event<int, std::string>;

}

TEST(ConcatTests, ConcatAndPrefixRunInOrder)
{
    // concat starts the second producer after the first completes; prefix puts one value first.
    EXPECT_EQ(eventsOf(Ints::fromValues({ 1, 2 }).concat(Ints::value(3)).prefix(0)),
        (std::vector { IntEvent::makeValue(0), IntEvent::makeValue(1), IntEvent::makeValue(2), IntEvent::makeValue(3), IntEvent::makeCompleted() }));
}

TEST(ConcatTests, FailureStopsTheSequence)
{
    // A failing first producer fails the concatenation without starting the second.
    int secondStarts = 0;
    Ints second([&](Observer<int, std::string> observer, Lifetime) {
        ++secondStarts;
        observer.sendCompleted();
    });
    EXPECT_EQ(eventsOf(Ints::error("first").concat(second)), (std::vector { IntEvent::makeFailed("first") }));
    EXPECT_EQ(secondStarts, 0);
}

TEST(ConcatTests, ThenDropsValuesAndContinuesOnCompletion)
{
    // then ignores the first producer's values and continues with the next producer once it completes.
    auto result = Ints::fromValues({ 1, 2 }).then(SignalProducer<std::string, std::string>::value("next"));
    using TextEvent = Event<std::string, std::string>;
    EXPECT_EQ(eventsOf(result), (std::vector { TextEvent::makeValue("next"), TextEvent::makeCompleted() }));
    EXPECT_EQ(eventsOf(Ints::error("stop").then(SignalProducer<std::string, std::string>::value("next"))),
        (std::vector { TextEvent::makeFailed("stop") }));
}
