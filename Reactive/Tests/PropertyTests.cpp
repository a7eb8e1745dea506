#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Reactive;

TEST(PropertyTests, ProducerSendsCurrentValueThenChangesAndSignalOnlyChanges)
{
    // producer = current value then changes; signal = changes only.
    MutableProperty<int> property(1);
    std::vector<int> fromProducer;
    std::vector<int> fromSignal;
    property.producer().startWithValues([&](int value) { fromProducer.push_back(value); });
    property.signal().observeValues([&](int value) { fromSignal.push_back(value); });
    property.set(2);
    property.modify([](int& value) { value += 10; });
    EXPECT_EQ(property.value(), 12);
    EXPECT_EQ(fromProducer, (std::vector<int> { 1, 2, 12 }));
    EXPECT_EQ(fromSignal, (std::vector<int> { 2, 12 }));
    EXPECT_EQ(property.swap(3), 12);
}

TEST(PropertyTests, DestroyingTheMutablePropertyCompletesItsStreams)
{
    // Observers learn that the property is gone; a read-only view keeps the last value.
    bool producerCompleted = false;
    bool signalCompleted = false;
    std::optional<Property<std::string>> view;
    {
        MutableProperty<std::string> property("a");
        view = Property<std::string>(property);
        property.producer().startWithCompleted([&] { producerCompleted = true; });
        property.signal().observeCompleted([&] { signalCompleted = true; });
        property.set("b");
    }
    EXPECT_TRUE(producerCompleted);
    EXPECT_TRUE(signalCompleted);
    EXPECT_EQ(view->value(), "b");
}

TEST(PropertyTests, ObserverMaySetThePropertyAgain)
{
    // A re-entrant set from an observer neither deadlocks nor reorders changes.
    MutableProperty<int> property(0);
    std::vector<int> seen;
    property.signal().observeValues([&](int value) {
        seen.push_back(value);
        if (value < 3) {
            property.set(value + 1);
        }
    });
    property.set(1);
    EXPECT_EQ(seen, (std::vector<int> { 1, 2, 3 }));
    EXPECT_EQ(property.value(), 3);
}

TEST(PropertyTests, MappedAndConstantProperties)
{
    // A mapped property follows its source; a constant one never changes and its producer completes.
    MutableProperty<int> source(2);
    auto doubled = Property<int>(source).map([](int value) { return value * 2; });
    EXPECT_EQ(doubled.value(), 4);
    std::vector<int> changes;
    doubled.signal().observeValues([&](int value) { changes.push_back(value); });
    source.set(5);
    EXPECT_EQ(doubled.value(), 10);
    EXPECT_EQ(changes, (std::vector<int> { 10 }));

    auto constant = Property<int>::constant(7);
    std::vector<Event<int, NoError>> events;
    constant.producer().startWithEvents([&](const Event<int, NoError>& event) { events.push_back(event); });
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].value(), 7);
    EXPECT_TRUE(events[1].isCompleted());
}

TEST(PropertyTests, CombinedPropertiesFollowEveryInput)
{
    // andWith is true only while both inputs are; combineLatest of three tracks each input's latest value.
    MutableProperty<bool> enabled(true);
    MutableProperty<bool> reachable(false);
    auto both = Property<bool>(enabled).andWith(Property<bool>(reachable)).map([](bool value) { return value; });
    std::vector<bool> seen;
    both.producer().skipRepeats().startWithValues([&](bool value) { seen.push_back(value); });
    reachable.set(true);
    enabled.set(false);
    enabled.set(false);
    EXPECT_EQ(seen, (std::vector<bool> { false, true, false }));
    EXPECT_TRUE(Property<bool>(enabled).orWith(Property<bool>(reachable)).value());

    MutableProperty<int> number(1);
    MutableProperty<std::string> text("a");
    auto triple = combineLatest(Property<bool>(enabled), Property<int>(number), Property<std::string>(text));
    number.set(2);
    text.set("b");
    EXPECT_EQ(triple.value(), std::make_tuple(false, 2, std::string("b")));
}
