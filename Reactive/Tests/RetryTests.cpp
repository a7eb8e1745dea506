#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Reactive;

TEST(RetryTests, SubscribesExactlyCountPlusOneTimes)
{
    // retry(upTo: n) on a producer that always fails starts it n+1 times and then fails with the last error.
    int starts = 0;
    SignalProducer<int, std::string> failing([&](Observer<int, std::string> observer, Lifetime) {
        ++starts;
        observer.sendFailed("attempt " + std::to_string(starts));
    });
    std::optional<std::string> error;
    failing.retry(20).startWithFailed([&](const std::string& e) { error = e; });
    EXPECT_EQ(starts, 21);
    EXPECT_EQ(error, "attempt 21");
}

TEST(RetryTests, StopsRetryingOnSuccess)
{
    // A producer that succeeds on its third start is retried twice, and its values pass through.
    int starts = 0;
    SignalProducer<int, std::string> flaky([&](Observer<int, std::string> observer, Lifetime) {
        ++starts;
        observer.send(starts);
        if (starts < 3) {
            observer.sendFailed("not yet");
        } else {
            observer.sendCompleted();
        }
    });
    std::vector<int> values;
    bool completed = false;
    flaky.retry(5).start(Observer<int, std::string>({ .value = [&](int value) { values.push_back(value); }, .completed = [&] { completed = true; } }));
    EXPECT_EQ(starts, 3);
    EXPECT_EQ(values, (std::vector<int> { 1, 2, 3 }));
    EXPECT_TRUE(completed);
}
