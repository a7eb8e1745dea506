#include "Platform/FileSystem/FileIdentity.hpp"

#include "Platform/FileSystem/ContentHashKey.hpp"
#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace Platform;
using namespace Platform::Testing;

// Proves an identity survives a rename and a move into another folder, while a copy, a new file reusing the
// name, and a different file all have other identities.
TEST(FileIdentityTests, SurvivesMovesButNotCopies)
{
    TemporaryDirectory root;
    writeFile(root / "a.txt", "x");
    ::mkdir((root / "sub").c_str(), 0755);
    auto const original = FileIdentity::of(root / "a.txt");
    ASSERT_TRUE(original.has_value());

    ASSERT_TRUE(moveItem(root / "a.txt", root / "sub/b.txt").has_value());
    EXPECT_EQ(FileIdentity::of(root / "sub/b.txt"), original);

    ASSERT_EQ(std::system(("cp '" + (root / "sub/b.txt") + "' '" + (root / "copy.txt") + "'").c_str()), 0);
    EXPECT_NE(FileIdentity::of(root / "copy.txt"), original);

    writeFile(root / "a.txt", "x");
    EXPECT_NE(FileIdentity::of(root / "a.txt"), original);

    auto missing = FileIdentity::of(root / "missing");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, FileSystemErrorCode::notFound);
}

// Proves the bookmark form round-trips (with and without birth time, also before 1970) and that bytes of
// another length or version, or with an impossible nanosecond field, are no bookmark.
TEST(FileIdentityTests, BookmarkDataRoundTrips)
{
    TemporaryDirectory root;
    writeFile(root / "a.txt", "");
    auto const identity = FileIdentity::of(root / "a.txt");
    ASSERT_TRUE(identity.has_value());
    auto const bytes = identity->bookmarkData();
    EXPECT_EQ(bytes.size(), 30u);
    auto const decoded = FileIdentity::fromBookmarkData(bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->device, identity->device);
    EXPECT_EQ(decoded->inode, identity->inode);
    EXPECT_EQ(decoded->birthTime, identity->birthTime);

    FileIdentity const old{1, 2, FileTime{std::chrono::nanoseconds{-1'500'000'001}}};
    EXPECT_EQ(FileIdentity::fromBookmarkData(old.bookmarkData())->birthTime, old.birthTime);
    FileIdentity const withoutBirth{3, 4, std::nullopt};
    EXPECT_FALSE(FileIdentity::fromBookmarkData(withoutBirth.bookmarkData())->birthTime.has_value());

    auto shortened = bytes;
    shortened.pop_back();
    EXPECT_FALSE(FileIdentity::fromBookmarkData(shortened).has_value());
    auto otherVersion = bytes;
    otherVersion[0] = 2;
    EXPECT_FALSE(FileIdentity::fromBookmarkData(otherVersion).has_value());
    auto badNanoseconds = old.bookmarkData();
    badNanoseconds[29] = 0xFF;
    EXPECT_FALSE(FileIdentity::fromBookmarkData(badNanoseconds).has_value());
    // The nanosecond field (little-endian) holds at most 999 999 999; the birth-time flag only 0 or 1.
    auto nanoseconds = [&](std::uint32_t value) {
        auto changed = old.bookmarkData();
        for (std::size_t index = 0; index < 4; ++index) {
            changed[26 + index] = static_cast<std::uint8_t>(value >> (8 * index));
        }
        return FileIdentity::fromBookmarkData(changed);
    };
    ASSERT_TRUE(nanoseconds(999'999'999).has_value());
    EXPECT_EQ(nanoseconds(999'999'999)->birthTime, FileTime{std::chrono::seconds{-2} + std::chrono::nanoseconds{999'999'999}});
    EXPECT_FALSE(nanoseconds(1'000'000'000).has_value());
    auto otherFlag = bytes;
    otherFlag[17] = 2;
    EXPECT_FALSE(FileIdentity::fromBookmarkData(otherFlag).has_value());
}

// Proves identities match on device and inode alone when one side lacks a birth time, and differ when both
// know different birth times (an inode reused by a new file).
TEST(FileIdentityTests, ComparesBirthTimeOnlyWhenBothKnowIt)
{
    FileIdentity const known{1, 2, FileTime{std::chrono::seconds{10}}};
    FileIdentity const unknown{1, 2, std::nullopt};
    FileIdentity const reused{1, 2, FileTime{std::chrono::seconds{11}}};
    EXPECT_EQ(known, unknown);
    EXPECT_NE(known, reused);
    EXPECT_NE(known, (FileIdentity{1, 3, known.birthTime}));
}

// Proves the content-hash key stays equal for an untouched file and changes on a rewrite of the same size,
// on a re-dated file and on a replacement by rename.
TEST(FileIdentityTests, ContentHashKeyChangesWithContent)
{
    TemporaryDirectory root;
    writeFile(root / "a.txt", "aaaa");
    auto key = [&root](const std::string& name) { return ContentHashKey::from(*ItemStat::of(root / name)); };
    auto const before = key("a.txt");
    EXPECT_EQ(key("a.txt"), before);
    EXPECT_EQ(std::hash<ContentHashKey>{}(key("a.txt")), std::hash<ContentHashKey>{}(before));

    writeFile(root / "a.txt", "bbbb");
    auto const rewritten = key("a.txt");
    EXPECT_NE(rewritten, before);

    ASSERT_TRUE(setModificationTime(root / "a.txt", FileTime{std::chrono::seconds{1000}}).has_value());
    EXPECT_NE(key("a.txt"), rewritten);

    auto const dated = key("a.txt");
    writeFile(root / "b.txt", "bbbb");
    ASSERT_EQ(::rename((root / "b.txt").c_str(), (root / "a.txt").c_str()), 0);
    EXPECT_NE(key("a.txt"), dated);
}
