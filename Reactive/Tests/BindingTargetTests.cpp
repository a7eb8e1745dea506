#include "Reactive/Action.hpp"
#include "Reactive/BindingTarget.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace Reactive;

TEST(BindingTargetTests, BindsValuesIntoAPropertyUntilItIsDestroyed)
{
    // A binding sets the property for every value and ends (disposing its source) when the property goes away.
    auto [signal, input] = Signal<int, NoError>::pipe();
    bool sourceEnded = false;
    SignalProducer<int, NoError> source([signal = signal, &sourceEnded](Observer<int, NoError> observer, Lifetime lifetime) {
        lifetime += signal.observe(observer);
        lifetime.observeEnded([&sourceEnded] { sourceEnded = true; });
    });
    auto property = std::make_unique<MutableProperty<int>>(0);
    bind(*property, source);
    input.send(4);
    EXPECT_EQ(property->value(), 4);
    property.reset();
    EXPECT_TRUE(sourceEnded);
    input.send(5);
}

TEST(BindingTargetTests, BindsAPropertyAndDeliversOnTheTargetsScheduler)
{
    // Binding a property sends its current value then its changes; a target with a scheduler receives them there.
    MutableProperty<std::string> source("a");
    auto scheduler = std::make_shared<TestScheduler>();
    std::vector<std::string> received;
    auto [lifetime, token] = Lifetime::make();
    BindingTarget<std::string> target { lifetime, [&](const std::string& value) { received.push_back(value); }, scheduler };
    bind(target, Property<std::string>(source));
    source.set("b");
    EXPECT_TRUE(received.empty());
    scheduler->advance();
    EXPECT_EQ(received, (std::vector<std::string> { "a", "b" }));
    token.end();
    source.set("c");
    scheduler->advance();
    EXPECT_EQ(received.size(), 2u);
}

TEST(BindingTargetTests, EveryValueBoundIntoAnActionAppliesItOnce)
{
    // Each value applies the action; values during an execution are refused and counted as disabled errors.
    std::vector<Observer<Unit, NoError>> runs;
    Action<Unit, Unit, NoError> action([&](const Unit&) {
        return SignalProducer<Unit, NoError>([&](Observer<Unit, NoError> observer, Lifetime) { runs.push_back(observer); });
    });
    int refused = 0;
    action.disabledErrors().observeValues([&](Unit) { ++refused; });
    auto [trigger, input] = Signal<int, NoError>::pipe();
    bind(action, SignalProducer<int, NoError>(trigger).ignoreValues());
    input.send(1);
    input.send(2);
    EXPECT_EQ(runs.size(), 1u);
    EXPECT_EQ(refused, 1);
    runs[0].sendCompleted();
    input.send(3);
    EXPECT_EQ(runs.size(), 2u);
    runs[1].sendCompleted();
    input.sendCompleted();
}
