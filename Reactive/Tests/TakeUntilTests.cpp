#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Reactive;

TEST(TakeUntilTests, CompletesRatherThanInterrupts)
{
    // take(until:) completes the stream when the trigger sends a value, and disposes the source.
    auto [source, sourceInput] = Signal<int, NoError>::pipe();
    auto [trigger, triggerInput] = Signal<Unit, NoError>::pipe();
    bool sourceEnded = false;
    SignalProducer<int, NoError> producer([source = source, &sourceEnded](Observer<int, NoError> observer, Lifetime lifetime) {
        lifetime += source.observe(observer);
        lifetime.observeEnded([&sourceEnded] { sourceEnded = true; });
    });
    std::vector<Event<int, NoError>> events;
    producer.takeUntil(SignalProducer<Unit, NoError>(trigger)).startWithEvents([&](const Event<int, NoError>& event) { events.push_back(event); });
    sourceInput.send(1);
    triggerInput.send(Unit());
    sourceInput.send(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].value(), 1);
    EXPECT_TRUE(events[1].isCompleted());
    EXPECT_TRUE(sourceEnded);
}
