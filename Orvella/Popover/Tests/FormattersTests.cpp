#include "Orvella/Popover/ByteCountFormatter.hpp"
#include "Orvella/Popover/GraphemeClusters.hpp"
#include "Orvella/Popover/QuotaUsage.hpp"
#include "Orvella/Popover/RowDateFormatter.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>

using namespace Orvella;

namespace {

constexpr std::int64_t KB = 1024;
constexpr std::int64_t MB = KB * 1024;
constexpr std::int64_t GB = MB * 1024;
constexpr std::int64_t TB = GB * 1024;

// A local time in a zone of `offsetHours`, as an instant.
Platform::Date at(int year, unsigned month, unsigned day, int hour, int minute, int offsetHours)
{
    const auto days = std::chrono::sys_days(std::chrono::year(year) / month / day);
    const auto seconds = days.time_since_epoch() + std::chrono::hours(hour - offsetHours) + std::chrono::minutes(minute);
    return Platform::Date::fromWholeSecondsSince1970(std::chrono::duration_cast<std::chrono::seconds>(seconds).count());
}

} // namespace

// Every unit boundary, the rounding into the next unit, the fraction digits
// per unit with trailing zeros dropped, and zero.
TEST(ByteCountFormatterTests, germanMemoryStyleAtEveryBoundary)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        { 0, "Null KB" },
        { 1, "1 Byte" },
        { 999, "999 Byte" },
        { 1023, "1.023 Byte" },
        { KB, "1 KB" },
        { KB + 511, "1 KB" },
        { KB + 512, "2 KB" },
        { 1000 * KB, "1.000 KB" },
        { MB - 513, "1.023 KB" },
        { MB - 512, "1 MB" },
        { MB, "1 MB" },
        { MB + MB / 2, "1,5 MB" },
        { 1'000'000'000, "953,7 MB" },
        { GB - MB / 20, "1 GB" },
        { GB, "1 GB" },
        { GB + GB / 4, "1,25 GB" },
        { GB + GB / 2, "1,5 GB" },
        { 5 * GB + GB / 100, "5,01 GB" },
        { TB, "1 TB" },
        { 2048 * TB, "2.048 TB" },
        { -MB, "-1 MB" },
        { std::numeric_limits<std::int64_t>::max(), "8.388.608 TB" },
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(formatByteCount(bytes), text) << bytes;
    }
}

// The usage line: percentage rounded as printf rounds (half to even), the
// formatted total, a zero total as 100 %, the initial quota as 0 %; a
// German locale changes nothing.
TEST(QuotaUsageTests, usageTextRoundsLikePrintfWhateverTheLocale)
{
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(usageText({ .usedBytes = 1, .totalBytes = 8 * GB }), "0 % von 8 GB");
    EXPECT_EQ(usageText({ .usedBytes = 1, .totalBytes = 8 }), "12 % von 8 Byte");
    EXPECT_EQ(usageText({ .usedBytes = 3, .totalBytes = 8 }), "38 % von 8 Byte");
    EXPECT_EQ(usageText({ .usedBytes = 3 * GB / 8, .totalBytes = GB }), "38 % von 1 GB");
    EXPECT_EQ(usageText({ .usedBytes = 5, .totalBytes = 0 }), "100 % von Null KB");
    EXPECT_EQ(usageText({ .usedBytes = 0, .totalBytes = -3 }), "100 % von -3 Byte");
    EXPECT_EQ(usageText(Quarlink::Quota {}), "0 % von 953,7 MB");
    EXPECT_EQ(usageText({ .usedBytes = 3 * GB, .totalBytes = 2 * GB }), "150 % von 2 GB");
    std::setlocale(LC_ALL, saved.c_str());
}

// Row dates around midnight: the calendar day of the zone decides, and
// another zone gives another day for the same instants.
TEST(RowDateFormatterTests, relativeDaysAroundMidnight)
{
    const auto now = at(2026, 12, 9, 0, 30, 1);
    const RowDateFormatter berlin([now] { return now; }, TimeZone::fixed(std::chrono::hours(1)));
    EXPECT_EQ(berlin.string(at(2026, 12, 9, 0, 0, 1)), "Heute, 00:00");
    EXPECT_EQ(berlin.string(at(2026, 12, 8, 23, 59, 1)), "Gestern, 23:59");
    EXPECT_EQ(berlin.string(at(2026, 12, 7, 8, 5, 1)), "Vorgestern, 08:05");
    EXPECT_EQ(berlin.string(at(2026, 12, 6, 23, 59, 1)), "06.12.26, 23:59");
    EXPECT_EQ(berlin.string(at(2026, 12, 10, 0, 0, 1)), "Morgen, 00:00");
    EXPECT_EQ(berlin.string(at(2026, 12, 11, 23, 59, 1)), "Übermorgen, 23:59");
    EXPECT_EQ(berlin.string(at(2026, 12, 12, 0, 0, 1)), "12.12.26, 00:00");
    EXPECT_EQ(berlin.string(at(2025, 1, 2, 9, 7, 1)), "02.01.25, 09:07");

    // In New York it is still the 8th, 18:30.
    const RowDateFormatter newYork([now] { return now; }, TimeZone::fixed(std::chrono::hours(-5)));
    EXPECT_EQ(newYork.string(at(2026, 12, 8, 23, 59, 1)), "Heute, 17:59");
    EXPECT_EQ(newYork.string(at(2026, 12, 9, 0, 0, 1)), "Heute, 18:00");
    EXPECT_EQ(newYork.string(at(2026, 12, 7, 8, 5, 1)), "Gestern, 02:05");

    // A date a fraction before midnight stays on its day.
    const auto justBefore = at(2026, 12, 9, 0, 0, 1).addingNanoseconds(-1);
    EXPECT_EQ(berlin.string(justBefore), "Gestern, 23:59");
    // Before 1970 too: a fraction of a second before it is still the last minute of 1969.
    const RowDateFormatter utc([now] { return now; }, TimeZone::fixed(std::chrono::hours(0)));
    EXPECT_EQ(utc.string(Platform::Date::fromWholeSecondsSince1970(0).addingNanoseconds(-1)), "31.12.69, 23:59");
    EXPECT_EQ(utc.string(Platform::Date::fromWholeSecondsSince1970(0)), "01.01.70, 00:00");
}

// Characters as the user sees them: combining marks, flags and joined
// emoji count once, blanks count each.
TEST(GraphemeClustersTests, countsUserPerceivedCharacters)
{
    EXPECT_EQ(graphemeClusterCount(""), 0u);
    EXPECT_EQ(graphemeClusterCount("ab"), 2u);
    EXPECT_EQ(graphemeClusterCount("   "), 3u);
    EXPECT_EQ(graphemeClusterCount("e\xCC\x81" "e\xCC\x81"), 2u);                   // é é, decomposed
    EXPECT_EQ(graphemeClusterCount("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA"), 1u);          // a flag
    EXPECT_EQ(graphemeClusterCount("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"), 1u); // family
    EXPECT_EQ(graphemeClusterCount("a\xFF" "b"), 3u);                                // an invalid byte
}
