#include "Sync/Model/SyncFileID.hpp"

#include "Platform/Foundation/UUID.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <unordered_set>

using namespace Sync;

TEST(SyncFileIDTests, LocalIdsAreAllEqual)
{
    // Local ids equal each other whatever their text, never equal a remote id, and hash alike.
    SyncFileID first(std::nullopt);
    SyncFileID second(std::nullopt);
    EXPECT_NE(first.localText(), second.localText());
    EXPECT_EQ(first, second);
    EXPECT_EQ(SyncFileID::local("x"), SyncFileID::local("y"));
    EXPECT_NE(SyncFileID::local("5"), SyncFileID(5));
    EXPECT_EQ(std::hash<SyncFileID>()(first), std::hash<SyncFileID>()(second));
    std::unordered_set<SyncFileID> set { first, SyncFileID(5) };
    EXPECT_TRUE(set.contains(second));
    EXPECT_EQ(set.size(), 2u);
}

TEST(SyncFileIDTests, RemoteIdsCompareByNumber)
{
    // A literal makes a remote id, equal to remote() of the same number only.
    SyncFileID literal = 5;
    EXPECT_EQ(literal, SyncFileID::remote(5));
    EXPECT_NE(literal, SyncFileID::remote(6));
    EXPECT_EQ(SyncFileID(std::optional<std::int64_t>(7)), SyncFileID(7));
    EXPECT_EQ(literal.remoteID(), 5);
    EXPECT_TRUE(literal.isRemote());
    EXPECT_FALSE(SyncFileID().isRemote());
    EXPECT_FALSE(SyncFileID().remoteID());
}

TEST(SyncFileIDTests, NewLocalIdsAreUpperCaseUUIDs)
{
    // A new local id carries a 36-character upper-case UUID text.
    auto text = *SyncFileID().localText();
    EXPECT_EQ(text.size(), 36u);
    EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos);
}

TEST(SyncFileIDTests, Descriptions)
{
    // Local ids read "Local" whatever their text; remote ids "Remote(n)".
    EXPECT_EQ(SyncFileID::local("anything").description(), "Local");
    EXPECT_EQ(SyncFileID(42).description(), "Remote(42)");
    EXPECT_EQ(SyncFileID(-3).description(), "Remote(-3)");
}

TEST(SyncFileIDTests, SingleValueCoding)
{
    // Text decodes to a local id (even digits), an integer to a remote id, other kinds fail.
    EXPECT_EQ(SyncFileID(42).encoded(), ArchiveValue(42));
    EXPECT_EQ(SyncFileID::local("L").encoded(), ArchiveValue("L"));
    auto fromText = SyncFileID::decoded(ArchiveValue("42"));
    ASSERT_TRUE(fromText);
    EXPECT_TRUE(fromText->isLocal());
    EXPECT_EQ(fromText->localText(), "42");
    EXPECT_EQ(SyncFileID::decoded(ArchiveValue(42)), SyncFileID(42));
    EXPECT_FALSE(SyncFileID::decoded(ArchiveValue(true)));
    EXPECT_FALSE(SyncFileID::decoded(ArchiveValue(nullptr)));
}

TEST(SyncFileIDTests, EveryKindSurvivesCopiesMovesAndAssignments)
{
    // Each kind keeps its value through copies and moves, between kinds too;
    // a shared text outlives the id it came from. Remote numbers at the ends
    // of the range and zero stay remote.
    for (std::int64_t number : { std::int64_t(0), std::int64_t(1), std::int64_t(-1),
             std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max() }) {
        SyncFileID id(number);
        EXPECT_TRUE(id.isRemote());
        EXPECT_EQ(id.remoteID(), number);
        EXPECT_FALSE(id.localText());
        EXPECT_EQ(SyncFileID(id), SyncFileID::remote(number));
    }

    SyncFileID generated;
    const auto generatedText = *generated.localText();
    EXPECT_EQ(generated.localText(), generatedText);
    // Version 4, RFC 4122 variant.
    EXPECT_EQ(generatedText[14], '4');
    EXPECT_NE(std::string("89AB").find(generatedText[19]), std::string::npos);
    EXPECT_TRUE(Platform::UUID::create(generatedText));

    auto text = SyncFileID::local("stored-local-text");
    std::optional<SyncFileID> copy(text);
    SyncFileID assigned = 9;
    assigned = text;
    text = SyncFileID(3);
    EXPECT_EQ(text.remoteID(), 3);
    EXPECT_EQ(copy->localText(), "stored-local-text");
    copy.reset();
    EXPECT_EQ(assigned.localText(), "stored-local-text");
    assigned = assigned;
    EXPECT_EQ(assigned.localText(), "stored-local-text");

    SyncFileID moved(std::move(assigned));
    EXPECT_EQ(moved.localText(), "stored-local-text");
    assigned = generated;
    EXPECT_EQ(assigned.localText(), generatedText);
    moved = std::move(assigned);
    EXPECT_EQ(moved.localText(), generatedText);
    moved = SyncFileID::local("again");
    EXPECT_EQ(moved.localText(), "again");
    moved = SyncFileID(11);
    EXPECT_EQ(moved, SyncFileID(11));
}
