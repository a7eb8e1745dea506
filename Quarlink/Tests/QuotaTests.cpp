// The quota's used fraction, its two thresholds and their texts.

#include "Quarlink/Envelope/Quota.hpp"
#include "Quarlink/Tests/DecodeTable.hpp"

#include "Platform/Foundation/StringTable.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace Quarlink;

namespace {

const Platform::StringTable germanTexts {
    { "MemoryFullBannerText", "Ihr Speicherplatz ist fast voll." },
    { "MemoryMoreFullBannerText", "Ihr Speicherplatz ist \xC3\xBC" "berschritten." },
};

Quota quota(std::int64_t used, std::int64_t total)
{
    return Quota { used, total };
}

} // namespace

TEST(Quota, fractionUsed)
{
    // used / total, unclamped; a total of zero or less counts as full.
    EXPECT_EQ(Quota().fractionUsed(), 0.0);
    EXPECT_EQ(quota(500, 0).fractionUsed(), 1.0);
    EXPECT_EQ(quota(0, -5).fractionUsed(), 1.0);
    EXPECT_DOUBLE_EQ(quota(1100, 1000).fractionUsed(), 1.1);
    EXPECT_DOUBLE_EQ(quota(-10, 100).fractionUsed(), -0.1);
    EXPECT_DOUBLE_EQ(quota(1, 4).fractionUsed(), 0.25);
}

TEST(Quota, thresholdsAndTheirTexts)
{
    // Up to 50,000,000 bytes free is "full", less than nothing "more than full"; texts come from the installed table.
    Platform::installStringTable({});
    EXPECT_EQ(Quota().warningText(), std::nullopt);
    EXPECT_EQ(quota(1100, 1000).warningText(), "MemoryMoreFullBannerText");
    EXPECT_EQ(quota(0, 50'000'000).warningText(), "MemoryFullBannerText");

    Platform::installStringTable(germanTexts);
    EXPECT_EQ(quota(0, 50'000'000).warningText(), "Ihr Speicherplatz ist fast voll.");
    EXPECT_EQ(quota(0, 50'000'001).warningText(), std::nullopt);
    EXPECT_EQ(quota(1000, 1000).warningText(), "Ihr Speicherplatz ist fast voll.");
    EXPECT_EQ(quota(1001, 1000).warningText(), "Ihr Speicherplatz ist \xC3\xBC" "berschritten.");
    EXPECT_EQ(quota(1100, 1000).warningText(), "Ihr Speicherplatz ist \xC3\xBC" "berschritten.");
    Platform::installStringTable({});
}

TEST(Quota, extremeValuesSaturate)
{
    // The free space of extreme 64-bit values clamps instead of overflowing (and never wraps to the wrong state).
    constexpr auto maximum = std::numeric_limits<std::int64_t>::max();
    constexpr auto minimum = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(quota(minimum, maximum).warningText(), std::nullopt);
    EXPECT_EQ(quota(-1, maximum).warningText(), std::nullopt);
    EXPECT_EQ(quota(maximum, minimum).warningText(), "MemoryMoreFullBannerText");
    EXPECT_EQ(quota(1, minimum).warningText(), "MemoryMoreFullBannerText");
    EXPECT_EQ(quota(maximum, maximum).warningText(), "MemoryFullBannerText");
}

TEST(Quota, descriptionAndDecoding)
{
    // "Quota(5 of 10)"; "total" and "used" are required integers.
    EXPECT_EQ(quota(5, 10).debugDescription(), "Quota(5 of 10)");
    using Testing::JSONKind;
    Testing::expectRequiredKeys<Quota>(JSON { { "total", 10 }, { "used", 5 } },
        { { "total", JSONKind::integer }, { "used", JSONKind::integer } });
    EXPECT_EQ(Testing::decodeJSON<Quota>(JSON { { "total", 10 }, { "used", 5 } }), quota(5, 10));
}
