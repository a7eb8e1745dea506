#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace Reactive;

TEST(CombineLatestTests, SendsOnceEveryInputHasAValueThenOnEachChange)
{
    // The combination waits for both inputs, then sends the latest pair on every change, and completes when both have.
    auto [left, leftInput] = Signal<int, std::string>::pipe();
    auto [right, rightInput] = Signal<std::string, std::string>::pipe();
    std::vector<std::tuple<int, std::string>> values;
    bool completed = false;
    combineLatest(SignalProducer<int, std::string>(left), SignalProducer<std::string, std::string>(right))
        .start(Observer<std::tuple<int, std::string>, std::string>({
            .value = [&](const std::tuple<int, std::string>& value) { values.push_back(value); },
            .completed = [&] { completed = true; },
        }));
    leftInput.send(1);
    leftInput.send(2);
    EXPECT_TRUE(values.empty());
    rightInput.send("a");
    leftInput.send(3);
    leftInput.sendCompleted();
    EXPECT_FALSE(completed);
    rightInput.send("b");
    rightInput.sendCompleted();
    EXPECT_TRUE(completed);
    EXPECT_EQ(values, (std::vector<std::tuple<int, std::string>> { { 2, "a" }, { 3, "a" }, { 3, "b" } }));
}

TEST(CombineLatestTests, ThreeInputsAndFailure)
{
    // Three inputs combine into a triple; the first failure of any input fails the combination.
    auto triple = combineLatest(SignalProducer<int, std::string>::value(1), SignalProducer<int, std::string>::value(2),
        SignalProducer<int, std::string>::value(3));
    std::vector<std::tuple<int, int, int>> values;
    triple.startWithValues([&](const std::tuple<int, int, int>& value) { values.push_back(value); });
    EXPECT_EQ(values, (std::vector<std::tuple<int, int, int>> { { 1, 2, 3 } }));

    std::optional<std::string> error;
    combineLatest(SignalProducer<int, std::string>::never(), SignalProducer<int, std::string>::error("right"))
        .startWithFailed([&](const std::string& e) { error = e; });
    EXPECT_EQ(error, "right");
}

TEST(CombineLatestTests, StartsTheReceiverBeforeItsArgument)
{
    // The receiver's start function runs before the argument's.
    std::vector<std::string> starts;
    SignalProducer<int, NoError> first([&](Observer<int, NoError> observer, Lifetime) { starts.push_back("first"); observer.sendCompleted(); });
    SignalProducer<int, NoError> second([&](Observer<int, NoError> observer, Lifetime) { starts.push_back("second"); observer.sendCompleted(); });
    first.combineLatestWith(second).start();
    EXPECT_EQ(starts, (std::vector<std::string> { "first", "second" }));
}
