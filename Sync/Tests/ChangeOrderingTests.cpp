#include "Sync/Changes/ChangeOrdering.hpp"

#include "Sync/Changes/ChangeFactories.hpp"
#include "TestFiles.hpp"

#include <algorithm>
#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;

namespace {

Change move(std::string from, std::string to)
{
    return localMove(makeFile(1, std::move(from), 0), makeFile(1, std::move(to), 0));
}

Change deleteFile(std::string path)
{
    return localDelete(makeFile(2, std::move(path), 0));
}

Change deleteFolder(std::string path)
{
    return localDelete(makeFolder(3, std::move(path), 0));
}

Change create(std::string path)
{
    return localCreate(makeFile(4, std::move(path), 0));
}

std::size_t position(const std::vector<Change>& changes, const Change& change)
{
    auto found = std::find_if(changes.begin(), changes.end(), [&](const Change& each) {
        return each.description() == change.description();
    });
    return static_cast<std::size_t>(found - changes.begin());
}

} // namespace

TEST(ChangeOrderingTests, MayPrecedeRules)
{
    // Each row of the relation, with prefixes on whole strings and canonical text.
    EXPECT_FALSE(mayPrecede(move("/x", "/y"), deleteFile("/y")));
    EXPECT_TRUE(mayPrecede(move("/x", "/z"), deleteFile("/y")));
    EXPECT_FALSE(mayPrecede(deleteFolder("/A"), move("/A/x", "/B/x")));
    EXPECT_TRUE(mayPrecede(deleteFile("/A"), move("/A/x", "/B/x")));
    EXPECT_FALSE(mayPrecede(move("/A/x", "/B/x"), move("/A", "/C")));
    EXPECT_FALSE(mayPrecede(move("/A", "/B"), move("/A", "/C")));
    EXPECT_TRUE(mayPrecede(move("/A", "/C"), move("/A/x", "/B/x")));
    EXPECT_FALSE(mayPrecede(move("/ABC", "/x"), move("/AB", "/y")));
    EXPECT_TRUE(mayPrecede(Change::invalid(), deleteFile("/y")));
    EXPECT_TRUE(mayPrecede(create("/a"), deleteFolder("/")));
    EXPECT_FALSE(mayPrecede(move("/Caf\xc3\xa9/x", "/y"), move("/Cafe\xcc\x81", "/z")));
    EXPECT_TRUE(mayPrecede(move("/Caf\xc3\xa9/x", "/y"), move("/Cafe", "/z")));
    EXPECT_FALSE(mayPrecede(move("", "/y"), move("", "/z")));
}

TEST(ChangeOrderingTests, InsertionReversesUnrelatedChanges)
{
    // Below the limit two unrelated creates come out in reverse, and a delete passes a move onto its path.
    auto ordered = orderedChanges({ create("/A"), create("/B") });
    EXPECT_EQ(ordered[0].description(), "Download /B");
    ordered = orderedChanges({ move("/x", "/y"), deleteFile("/y") });
    EXPECT_EQ(ordered[0].description(), "Local delete /y");
    ordered = orderedChanges({ deleteFile("/y"), move("/x", "/y") });
    EXPECT_EQ(ordered[0].description(), "Local delete /y");
}

TEST(ChangeOrderingTests, LargeListsKeepEveryRelationAndTheAssembledOrder)
{
    // From the limit on, unrelated changes keep their order and every imposed relation holds.
    std::vector<Change> assembled;
    for (int index = 0; index < 30; ++index)
        assembled.push_back(create("/c" + std::to_string(index)));
    assembled.push_back(move("/A/x", "/B/x"));
    assembled.push_back(move("/A/Sub/y", "/B/y"));
    assembled.push_back(move("/A/Sub", "/D"));
    assembled.insert(assembled.begin() + 3, deleteFolder("/A"));
    assembled.insert(assembled.begin() + 5, move("/q", "/gone"));
    assembled.push_back(deleteFile("/gone"));

    auto ordered = orderedChanges(assembled);
    ASSERT_EQ(ordered.size(), assembled.size());
    for (std::size_t first = 0; first < ordered.size(); ++first)
        for (std::size_t second = first + 1; second < ordered.size(); ++second)
            EXPECT_TRUE(mayPrecede(ordered[first], ordered[second]))
                << ordered[first].description() << " before " << ordered[second].description();
    for (int index = 1; index < 30; ++index)
        EXPECT_LT(position(ordered, create("/c" + std::to_string(index - 1))), position(ordered, create("/c" + std::to_string(index))));
}

TEST(ChangeOrderingTests, ContradictionsFallBackToAssembledOrder)
{
    // Moves of one path and a move into the folder it leaves form cycles; every change is still placed once.
    std::vector<Change> assembled;
    for (int index = 0; index < 25; ++index)
        assembled.push_back(create("/c" + std::to_string(index)));
    assembled.push_back(move("/A", "/B"));
    assembled.push_back(move("/A", "/C"));
    assembled.push_back(deleteFolder("/M"));
    assembled.push_back(move("/M/x", "/M"));
    auto ordered = orderedChanges(assembled);
    ASSERT_EQ(ordered.size(), assembled.size());
    EXPECT_LT(position(ordered, move("/A", "/B")), position(ordered, move("/A", "/C")));
    for (const auto& change : assembled)
        EXPECT_LT(position(ordered, change), ordered.size());
}

TEST(ChangeOrderingTests, TwentyChangesAreNoLongerOrderedByInsertion)
{
    // Nineteen unrelated changes still come out reversed; twenty keep the order they were assembled in.
    for (int count : { 19, 20 }) {
        std::vector<Change> assembled;
        for (int index = 0; index < count; ++index)
            assembled.push_back(create("/c" + std::to_string(index)));
        auto ordered = orderedChanges(assembled);
        ASSERT_EQ(ordered.size(), assembled.size());
        EXPECT_EQ(ordered.front().description(), assembled[count == 19 ? 18 : 0].description()) << count;
        EXPECT_EQ(ordered.back().description(), assembled[count == 19 ? 0 : 19].description()) << count;
    }
}

TEST(ChangeOrderingTests, AnItemCreatedInAMovedFolderComesAfterTheMove)
{
    // Only what lies inside the move's destination waits; the destination
    // itself and a sibling whose name merely starts the same do not.
    EXPECT_FALSE(mayPrecede(create("/B/new.txt"), move("/A", "/B")));
    EXPECT_FALSE(mayPrecede(create("/B/Sub/new.txt"), move("/A/", "/B/")));
    EXPECT_TRUE(mayPrecede(create("/Bx/new.txt"), move("/A", "/B")));
    EXPECT_TRUE(mayPrecede(create("/B"), move("/A", "/B")));
    EXPECT_TRUE(mayPrecede(create("/A/new.txt"), move("/A", "/B")));

    auto ordered = orderedChanges({ move("/A", "/B"), create("/B/new.txt") });
    EXPECT_EQ(ordered[0].description(), move("/A", "/B").description());

    std::vector<Change> assembled;
    for (int index = 0; index < 25; ++index)
        assembled.push_back(create("/c" + std::to_string(index)));
    assembled.push_back(create("/B/Sub/new.txt"));
    assembled.push_back(create("/Bx/new.txt"));
    assembled.push_back(move("/A/", "/B/"));
    ordered = orderedChanges(assembled);
    EXPECT_LT(position(ordered, move("/A/", "/B/")), position(ordered, create("/B/Sub/new.txt")));
    EXPECT_LT(position(ordered, create("/Bx/new.txt")), position(ordered, move("/A/", "/B/")));
}
