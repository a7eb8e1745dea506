// Dropping the envelope from a stream of envelopes.

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Unpacked.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

namespace {

using Package = CloudMetaPackage<std::string>;
using Producer = Reactive::SignalProducer<Package, Reactive::AnyError>;

struct Recorded {
    std::vector<std::string> values;
    std::optional<Reactive::AnyError> failure;
    bool completed { false };
};

Recorded record(const Producer& source)
{
    Recorded recorded;
    auto disposable = unpacked(source).startWithEvents([&](auto&& event) {
        if (event.isValue())
            recorded.values.push_back(event.value());
        else if (event.isFailed())
            recorded.failure = event.error();
        else if (event.isCompleted())
            recorded.completed = true;
    });
    return recorded;
}

} // namespace

TEST(Unpacked, payloadsInOrder)
{
    // Three envelopes give their three payloads in the same order, then completion; the metadata is gone.
    auto recorded = record(Producer::fromValues({ Package(Quota { 1, 2 }, "a"), Package(std::nullopt, "b"), Package(Quota {}, "c") }));
    EXPECT_EQ(recorded.values, (std::vector<std::string> { "a", "b", "c" }));
    EXPECT_TRUE(recorded.completed);
    EXPECT_FALSE(recorded.failure.has_value());
}

TEST(Unpacked, failureBeforeAnyValuePassesThrough)
{
    // A source that fails at once makes the unpacked stream fail with the same error and no value.
    auto recorded = record(Producer::error(Reactive::AnyError(APIClientError::notLoggedIn())));
    EXPECT_TRUE(recorded.values.empty());
    ASSERT_TRUE(recorded.failure.has_value());
    EXPECT_EQ(*recorded.failure->as<APIClientError>(), APIClientError::notLoggedIn());
}

TEST(Unpacked, startsNothingUntilStarted)
{
    // Building the unpacked producer does not start its source; starting it does, once per start.
    int starts = 0;
    Producer source([&](Reactive::Observer<Package, Reactive::AnyError> observer, Reactive::Lifetime) {
        ++starts;
        observer.send(Package(std::nullopt, "x"));
        observer.sendCompleted();
    });
    auto result = unpacked(source);
    EXPECT_EQ(starts, 0);
    auto first = result.start();
    auto second = result.start();
    EXPECT_EQ(starts, 2);
}
