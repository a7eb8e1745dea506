#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Reactive;

TEST(ErrorOperatorTests, IgnoreErrorTurnsAFailureIntoCompletion)
{
    // Three values then a failure give the three values and completion; a failure at once gives only completion.
    auto failing = SignalProducer<int, std::string>([](Observer<int, std::string> observer, Lifetime) {
        observer.send(1);
        observer.send(2);
        observer.send(3);
        observer.sendFailed("boom");
    });
    std::vector<int> values;
    bool completed = false;
    failing.ignoreError().start(Observer<int, NoError>({ .value = [&](int value) { values.push_back(value); }, .completed = [&] { completed = true; } }));
    EXPECT_EQ(values, (std::vector<int> { 1, 2, 3 }));
    EXPECT_TRUE(completed);

    std::vector<Event<int, NoError>> events;
    SignalProducer<int, std::string>::error("now").ignoreError().startWithEvents([&](const Event<int, NoError>& event) { events.push_back(event); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].isCompleted());
}

TEST(ErrorOperatorTests, IgnoreErrorKeepsInterruption)
{
    // An interrupted source stays interrupted through ignoreError.
    bool interrupted = false;
    SignalProducer<int, std::string>::never().ignoreError().startWithInterrupted([&] { interrupted = true; }).dispose();
    EXPECT_TRUE(interrupted);
}

TEST(ErrorOperatorTests, MapErrorAndPromoteError)
{
    // mapError rewrites the failure; promoteError gives a never-failing producer an error type.
    std::optional<AnyError> error;
    SignalProducer<int, std::string>::error("raw")
        .mapError([](std::string&& text) { return AnyError(text + "!"); })
        .startWithFailed([&](const AnyError& e) { error = e; });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description(), "raw!");

    std::vector<int> values;
    SignalProducer<int, NoError>::value(4).promoteError<AnyError>().startWithValues([&](int value) { values.push_back(value); });
    EXPECT_EQ(values, (std::vector<int> { 4 }));

    std::optional<AnyError> promoted;
    SignalProducer<int, std::string>::error("typed").promoteError<AnyError>().startWithFailed([&](const AnyError& e) { promoted = e; });
    ASSERT_TRUE(promoted);
    EXPECT_EQ(*promoted->as<std::string>(), "typed");
}
