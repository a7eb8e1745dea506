#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Reactive;

TEST(FlatMapErrorTests, ContinuesWithTheReplacement)
{
    // flatMapError replaces a failure by the producer its handler returns, with a new error type.
    std::vector<int> values;
    bool completed = false;
    SignalProducer<int, std::string>::error("bad")
        .prefix(1)
        .flatMapError([](std::string&& error) { return SignalProducer<int, NoError>::value(static_cast<int>(error.size())); })
        .start(Observer<int, NoError>({ .value = [&](int value) { values.push_back(value); }, .completed = [&] { completed = true; } }));
    EXPECT_EQ(values, (std::vector<int> { 1, 3 }));
    EXPECT_TRUE(completed);
}
