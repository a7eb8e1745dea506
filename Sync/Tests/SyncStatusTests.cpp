#include "Sync/Schedule/SyncStatus.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Sync;

// Proves equality compares cases, and dates only between two allInSync values.
TEST(SyncStatusTests, EqualityComparesCasesAndDates)
{
    const auto date = Platform::Date::fromWholeSecondsSince1970(1'700'000'000);
    EXPECT_EQ(SyncStatus::notReachable(), SyncStatus::notReachable());
    EXPECT_EQ(SyncStatus::allInSync(date), SyncStatus::allInSync(date));
    EXPECT_NE(SyncStatus::allInSync(date), SyncStatus::allInSync(date.addingSeconds(1)));
    EXPECT_NE(SyncStatus::checking(), SyncStatus::syncing());
    EXPECT_NE(SyncStatus::disabled(), SyncStatus::allInSync(Platform::Date()));
}

// Proves the flags and the last sync date of every case.
TEST(SyncStatusTests, FlagsAndLastSyncDate)
{
    const auto date = Platform::Date::fromWholeSecondsSince1970(1'700'000'000);
    EXPECT_TRUE(SyncStatus::allInSync(date).isIdle());
    EXPECT_TRUE(SyncStatus::disabled().isIdle());
    EXPECT_FALSE(SyncStatus::notReachable().isIdle());
    EXPECT_FALSE(SyncStatus::checking().isIdle());
    EXPECT_FALSE(SyncStatus::syncing().isIdle());
    EXPECT_TRUE(SyncStatus::syncing().isSyncing());
    EXPECT_FALSE(SyncStatus::checking().isSyncing());
    EXPECT_EQ(SyncStatus::allInSync(date).lastSyncDate(), date);
    EXPECT_EQ(SyncStatus::syncing().lastSyncDate(), std::nullopt);
}

// Proves the texts shown to the user, the date written in local time.
TEST(SyncStatusTests, Descriptions)
{
    EXPECT_EQ(SyncStatus::disabled().description(), "Waiting for Sync");
    EXPECT_EQ(SyncStatus::notReachable().description(), "Can't reach Server");
    EXPECT_EQ(SyncStatus::checking().description(), "Checking for changes");
    EXPECT_EQ(SyncStatus::syncing().description(), "Syncing");

    const auto description = SyncStatus::allInSync(Platform::Date::fromWholeSecondsSince1970(1'700'000'000)).description();
    EXPECT_TRUE(description.starts_with("Up to date. Last checked: ")) << description;
    EXPECT_NE(description.find("2023"), std::string::npos) << description;
}
