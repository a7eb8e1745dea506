#include "Platform/Foundation/Date.hpp"

#include <gtest/gtest.h>

using namespace Platform;

TEST(DateTests, KeepsNanosecondsAndComparesExactly)
{
    // A timespec survives exactly, and dates one millisecond or one nanosecond apart are unequal.
    struct timespec time { 1'700'000'000, 123'456'789 };
    auto date = Date::fromTimespec(time);
    EXPECT_EQ(date.timespec().tv_sec, time.tv_sec);
    EXPECT_EQ(date.timespec().tv_nsec, time.tv_nsec);
    EXPECT_NE(date, date.addingNanoseconds(1'000'000));
    EXPECT_NE(date, date.addingNanoseconds(1));
    EXPECT_LT(date, date.addingNanoseconds(1));
}

TEST(DateTests, WholeSecondsCutTowardZero)
{
    // 1.9 s gives 1, -1.9 s gives -1, -0.25 s gives 0, as records and the wire store dates.
    EXPECT_EQ(Date::fromSecondsSince1970(1.9).wholeSecondsSince1970(), 1);
    EXPECT_EQ(Date::fromSecondsSince1970(-1.9).wholeSecondsSince1970(), -1);
    EXPECT_EQ(Date::fromSecondsSince1970(-0.25).wholeSecondsSince1970(), 0);
    EXPECT_EQ(Date::fromWholeSecondsSince1970(-5).wholeSecondsSince1970(), -5);
    EXPECT_DOUBLE_EQ(Date::fromSecondsSince1970(10.5).timeIntervalSince1970(), 10.5);
}

TEST(DateTests, NegativeDatesGiveNormalisedTimespecs)
{
    // Before 1970 the nanoseconds of a timespec stay within 0..999999999.
    auto time = Date::fromSecondsSince1970(-0.25).timespec();
    EXPECT_EQ(time.tv_sec, -1);
    EXPECT_EQ(time.tv_nsec, 750'000'000);
}

TEST(DateTests, SaturatesInsteadOfOverflowing)
{
    // Values beyond the nanosecond range clamp to its ends rather than wrapping.
    EXPECT_GT(Date::fromSecondsSince1970(1e300), Date::fromWholeSecondsSince1970(9'000'000'000));
    EXPECT_LT(Date::fromWholeSecondsSince1970(-20'000'000'000), Date());
    EXPECT_EQ(Date::fromWholeSecondsSince1970(20'000'000'000).addingNanoseconds(5),
        Date::fromWholeSecondsSince1970(20'000'000'000));
}

TEST(DateTests, ISO8601RoundTrip)
{
    // Formatting and parsing agree, and offsets and fractions are honoured.
    auto date = Date::fromWholeSecondsSince1970(1'765'261'511);
    EXPECT_EQ(date.iso8601String(), "2025-12-09T06:25:11Z");
    EXPECT_EQ(Date::fromISO8601("2025-12-09T06:25:11Z"), date);
    EXPECT_EQ(Date::fromISO8601("2025-12-09T07:25:11+01:00"), date);
    EXPECT_EQ(Date::fromISO8601("2025-12-09T06:25:11.5Z"), date.addingNanoseconds(500'000'000));
    EXPECT_EQ(Date::fromISO8601("1969-12-31T23:59:59Z"), Date::fromWholeSecondsSince1970(-1));
    EXPECT_FALSE(Date::fromISO8601("2025-13-09T06:25:11Z"));
    EXPECT_FALSE(Date::fromISO8601("2025-12-09 06:25:11Z"));
    EXPECT_FALSE(Date::fromISO8601("2025-12-09T06:25:11"));
}
