#include "Sync/Changes/ChangeComputation.hpp"

#include "Sync/Changes/ChangeFactories.hpp"
#include "TestFiles.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;

TEST(ResolvingNestedDeletesTests, ContentsOfDeletedFoldersBecomeLocal)
{
    // Three levels deep, every delete below a deleted folder becomes local; the top stays remote.
    auto top = makeFolder(3, "/A", 1);
    auto middle = makeFolder(4, "/A/B", 3);
    auto leaf = makeFile(5, "/A/B/c", 4);
    auto other = makeFile(6, "/other", 1);
    auto result = resolvingNestedDeletes({ remoteDelete(leaf), remoteDelete(top), remoteDelete(middle),
        remoteDelete(other), remoteUpdate(makeFile(7, "/A/u", 3)) });
    ASSERT_EQ(result.size(), 5u);
    EXPECT_EQ(result[0], localDelete(leaf));
    EXPECT_EQ(result[1], remoteDelete(top));
    EXPECT_EQ(result[2], localDelete(middle));
    EXPECT_EQ(result[3], remoteDelete(other));
    EXPECT_EQ(result[4].description(), "Reupload /A/u");
}

TEST(ResolvingNestedDeletesTests, UndeletedParentsAndInvalidChangesStay)
{
    // A delete whose parent stays keeps its side; invalid changes pass through unchanged.
    auto file = makeFile(5, "/A/x", 3);
    auto result = resolvingNestedDeletes({ remoteDelete(file), Change::invalid(), localDelete(makeFile(6, "/y", 5)) });
    EXPECT_EQ(result[0], remoteDelete(file));
    EXPECT_TRUE(result[1].isInvalid());
    EXPECT_TRUE(result[2].isLocal());
    EXPECT_TRUE(resolvingNestedDeletes({}).empty());
}
