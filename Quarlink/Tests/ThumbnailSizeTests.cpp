// Preview sizes: their query items, and equality that never mixes up two sizes.

#include "Quarlink/Thumbnails/ThumbnailSize.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace Quarlink;

namespace {

std::vector<std::pair<std::string, std::string>> items(const ThumbnailSize& size)
{
    std::vector<std::pair<std::string, std::string>> result;
    for (const auto& item : size.queryItems())
        result.emplace_back(item.name, item.value.value_or("<none>"));
    return result;
}

using Items = std::vector<std::pair<std::string, std::string>>;

} // namespace

TEST(ThumbnailSize, queryItems)
{
    // Always "x" then "y"; the fixed sizes and a custom one, negative values with their sign.
    EXPECT_EQ(items(ThumbnailSize::list), (Items { { "x", "60" }, { "y", "60" } }));
    EXPECT_EQ(items(ThumbnailSize::grid), (Items { { "x", "125" }, { "y", "125" } }));
    EXPECT_EQ(items(ThumbnailSize::detail), (Items { { "x", "2000" }, { "y", "2000" } }));
    EXPECT_EQ(items(ThumbnailSize::custom(320, 240)), (Items { { "x", "320" }, { "y", "240" } }));
    EXPECT_EQ(items(ThumbnailSize::custom(-1, -2)), (Items { { "x", "-1" }, { "y", "-2" } }));
}

TEST(ThumbnailSize, equalExactlyWhenTheSameNumbersAreSent)
{
    // Sizes whose 33 × width + height collide stay apart; a custom size that sends what a fixed one sends equals it.
    EXPECT_NE(ThumbnailSize::custom(0, 1), ThumbnailSize::list);
    EXPECT_NE(ThumbnailSize::custom(1, 0), ThumbnailSize::custom(0, 33));
    EXPECT_NE(ThumbnailSize::list, ThumbnailSize::grid);
    EXPECT_NE(ThumbnailSize::custom(60, 61), ThumbnailSize::custom(61, 60));
    EXPECT_EQ(ThumbnailSize::custom(60, 60), ThumbnailSize::list);
    EXPECT_EQ(ThumbnailSize::custom(125, 125), ThumbnailSize::grid);
    EXPECT_EQ(ThumbnailSize::custom(7, 8), ThumbnailSize::custom(7, 8));

    std::hash<ThumbnailSize> hash;
    EXPECT_EQ(hash(ThumbnailSize::custom(60, 60)), hash(ThumbnailSize::list));
    std::unordered_set<ThumbnailSize> set { ThumbnailSize::custom(1, 0), ThumbnailSize::custom(0, 33), ThumbnailSize::list,
        ThumbnailSize::custom(0, 1), ThumbnailSize::custom(60, 60) };
    EXPECT_EQ(set.size(), 4u);
}
