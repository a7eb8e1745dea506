#include "Orvella/SyncSetup/CloudSyncConfiguration.hpp"

#include "Shared/ClientConfiguration.hpp"
#include "Reactive/MutableProperty.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Orvella;
using Quarlink::ReachabilityStatus;

namespace {

struct Inputs {
    Reactive::MutableProperty<bool> loggedIn { false };
    Reactive::MutableProperty<ReachabilityStatus> reachability { ReachabilityStatus::reachable };
    Reactive::MutableProperty<bool> syncSetting { true };
};

} // namespace

TEST(CloudSyncConfigurationTests, SyncIsEnabledExactlyWhenLoggedInAndSwitchedOn)
{
    // All four combinations; logging in turns it on without a settings change, and repeats are not sent again.
    BrisantoClientConfiguration brand;
    Inputs inputs;
    CloudSyncConfiguration configuration(brand, inputs.loggedIn, inputs.reachability, inputs.syncSetting);
    std::vector<bool> changes;
    auto observing = configuration.isSyncEnabled().signal().observeValues([&](bool value) { changes.push_back(value); });
    EXPECT_FALSE(configuration.isSyncEnabled().value());
    inputs.loggedIn.set(true);
    EXPECT_TRUE(configuration.isSyncEnabled().value());
    inputs.loggedIn.set(true);
    inputs.syncSetting.set(false);
    EXPECT_FALSE(configuration.isSyncEnabled().value());
    inputs.loggedIn.set(false);
    EXPECT_FALSE(configuration.isSyncEnabled().value());
    inputs.syncSetting.set(true);
    EXPECT_FALSE(configuration.isSyncEnabled().value());
    EXPECT_EQ(changes, (std::vector<bool> { true, false }));
}

TEST(CloudSyncConfigurationTests, EveryStateButNotReachableCountsAsReachable)
{
    // From reachable to reachable via WWAN nothing new is sent; not reachable turns it false.
    BrisantoClientConfiguration brand;
    Inputs inputs;
    CloudSyncConfiguration configuration(brand, inputs.loggedIn, inputs.reachability, inputs.syncSetting);
    std::vector<bool> changes;
    auto observing = configuration.isRemoteReachable().signal().observeValues([&](bool value) { changes.push_back(value); });
    EXPECT_TRUE(configuration.isRemoteReachable().value());
    inputs.reachability.set(ReachabilityStatus::reachableViaWWAN);
    inputs.reachability.set(ReachabilityStatus::notReachable);
    EXPECT_FALSE(configuration.isRemoteReachable().value());
    inputs.reachability.set(ReachabilityStatus::reachable);
    EXPECT_EQ(changes, (std::vector<bool> { false, true }));
}

TEST(CloudSyncConfigurationTests, TheIntervalIsTheBrandsWholeSeconds)
{
    // 15.0 gives 15 s, 15.9 gives 15 s; values that are not finite or too large give nothing.
    BrisantoClientConfiguration brand;
    Inputs inputs;
    EXPECT_EQ(CloudSyncConfiguration(brand, inputs.loggedIn, inputs.reachability, inputs.syncSetting).syncInterval(), std::chrono::seconds(15));
    EXPECT_EQ(CloudSyncConfiguration::wholeSeconds(15.9), std::chrono::seconds(15));
    EXPECT_EQ(CloudSyncConfiguration::wholeSeconds(-0.5), std::chrono::seconds(0));
    EXPECT_FALSE(CloudSyncConfiguration::wholeSeconds(std::nan("")));
    EXPECT_FALSE(CloudSyncConfiguration::wholeSeconds(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(CloudSyncConfiguration::wholeSeconds(1e19));
    // The longest interval is the last whole second the scheduler's nanoseconds can count, on either side of zero.
    constexpr std::int64_t longest = std::numeric_limits<std::int64_t>::max() / 1'000'000'000;
    EXPECT_EQ(CloudSyncConfiguration::wholeSeconds(static_cast<double>(longest) + 0.5), std::chrono::seconds(longest));
    EXPECT_FALSE(CloudSyncConfiguration::wholeSeconds(static_cast<double>(longest + 1)));
    EXPECT_EQ(CloudSyncConfiguration::wholeSeconds(-static_cast<double>(longest) - 0.5), std::chrono::seconds(-longest));
    EXPECT_FALSE(CloudSyncConfiguration::wholeSeconds(-static_cast<double>(longest + 1)));
}
