#include "Sync/References/QVExtendedAttributes.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace Sync;

// Proves the record survives its archive bytes, the largest unsigned id included.
TEST(QVExtendedAttributesTests, ArchiveRoundTrip)
{
    auto record = QVExtendedAttributes::attributesWithRemoteFileId(std::numeric_limits<std::uint64_t>::max(),
        Platform::Data::fromString("hash"), Platform::Data::fromString("bookmark"));

    auto back = unarchived<QVExtendedAttributes>(record->data());

    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->remoteFileID(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(back->fileNameHash(), Platform::Data::fromString("hash"));
    EXPECT_EQ(back->bookmarkData(), Platform::Data::fromString("bookmark"));
}

// Proves a dictionary of another class is refused, and missing values read as zero and empty.
TEST(QVExtendedAttributesTests, ClassNameAndMissingValues)
{
    EXPECT_EQ(QVExtendedAttributes::create({ { "RFI", ArchiveValue(5) } }), nullptr);
    auto bare = QVExtendedAttributes::create({ { "$class", ArchiveValue("QVExtendedAttributes") },
        { "RFI", ArchiveValue("5") } });
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->remoteFileID(), 0u);
    EXPECT_TRUE(bare->fileNameHash().empty());
    EXPECT_TRUE(bare->bookmarkData().empty());
}
