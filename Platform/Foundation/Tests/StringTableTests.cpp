// The hook through which libraries get the application's texts.

#include "Platform/Foundation/StringTable.hpp"

#include <gtest/gtest.h>

TEST(StringTable, answersTheKeyUntilATableIsInstalled)
{
    // Without a table, and for keys the table lacks, the key is the text; an installed table replaces the old one.
    Platform::installStringTable({});
    EXPECT_EQ(Platform::localizedString("SomeKey"), "SomeKey");
    Platform::installStringTable({ { "SomeKey", "Ein Text" } });
    EXPECT_EQ(Platform::localizedString("SomeKey"), "Ein Text");
    EXPECT_EQ(Platform::localizedString("OtherKey"), "OtherKey");
    Platform::installStringTable({ { "OtherKey", "x" } });
    EXPECT_EQ(Platform::localizedString("SomeKey"), "SomeKey");
    Platform::installStringTable({});
}
