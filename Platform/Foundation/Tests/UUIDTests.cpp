#include "Platform/Foundation/UUID.hpp"

#include <gtest/gtest.h>
#include <unordered_set>

using namespace Platform;

TEST(UUIDTests, TextIsUpperCaseAndParsesBack)
{
    // A new identifier prints as 36 upper-case characters in 8-4-4-4-12 groups and parses back to itself.
    UUID uuid;
    auto text = uuid.uuidString();
    ASSERT_EQ(text.size(), 36u);
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (index == 8 || index == 13 || index == 18 || index == 23)
            EXPECT_EQ(text[index], '-');
        else
            EXPECT_TRUE(std::isdigit(text[index]) || (text[index] >= 'A' && text[index] <= 'F')) << text;
    }
    EXPECT_EQ(UUID::create(text), uuid);
    EXPECT_NE(UUID(), uuid);
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
}

TEST(UUIDTests, ManyIdentifiersAreDistinct)
{
    // Identifiers drawn across several batches of random bytes never repeat.
    std::unordered_set<UUID> seen;
    for (int index = 0; index < 2000; ++index)
        EXPECT_TRUE(seen.insert(UUID()).second);
}

TEST(UUIDTests, RejectsMalformedText)
{
    // Lower-case text parses; wrong lengths and characters do not.
    EXPECT_TRUE(UUID::create("123e4567-e89b-12d3-a456-426614174000"));
    EXPECT_EQ(UUID::create("123e4567-e89b-12d3-a456-426614174000")->uuidString(), "123E4567-E89B-12D3-A456-426614174000");
    EXPECT_FALSE(UUID::create("123e4567-e89b-12d3-a456-42661417400"));
    EXPECT_FALSE(UUID::create("123e4567-e89b-12d3-a456-4266141740000"));
    EXPECT_FALSE(UUID::create("123e4567-e89b-12d3-a456-42661417400g"));
    EXPECT_FALSE(UUID::create(""));
}
