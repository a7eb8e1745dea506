#include "Orvella/Popover/RecentFilesDataSource.hpp"

#include <gtest/gtest.h>

using namespace Orvella;

// Rows and heights follow the list; a row beyond it is empty; a file row's
// action runs once per selection; section rows, cleared selections and rows
// beyond the list do nothing.
TEST(RecentFilesDataSourceTests, rowsHeightsAndSelection)
{
    RecentFilesDataSource source;
    EXPECT_EQ(source.numberOfRows(), 0u);
    EXPECT_FALSE(source.entry(0).has_value());
    int selected = 0;
    source.cellModels().set({ RecentFileModelType::section("Heute"),
        RecentFileModelType::file({ .fileName = "a.txt", .filePath = "/c/a.txt", .dateString = "Heute, 10:00", .select = [&] { ++selected; } }) });
    EXPECT_EQ(source.numberOfRows(), 2u);
    EXPECT_EQ(source.heightOfRow(0), 56);
    EXPECT_EQ(source.heightOfRow(1), 56);
    EXPECT_EQ(*source.entry(0)->sectionTitle(), "Heute");
    EXPECT_EQ(source.entry(1)->fileModel()->fileName, "a.txt");
    EXPECT_FALSE(source.entry(2).has_value());
    EXPECT_FALSE(source.entry(-1).has_value());

    source.selectionChanged(1);
    EXPECT_EQ(selected, 1);
    source.selectionChanged(0);
    source.selectionChanged(-1);
    source.selectionChanged(7);
    EXPECT_EQ(selected, 1);
}
