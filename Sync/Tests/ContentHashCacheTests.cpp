#include "Sync/Disk/ContentHashCache.hpp"

#include "Platform/Foundation/Digest.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Sync;
using namespace Sync::Testing;
using Platform::FileSystemErrorCode;
using Platform::Testing::writeFile;

namespace {

Platform::ItemStat statusOf(const std::string& path)
{
    auto status = Platform::ItemStat::of(path);
    EXPECT_TRUE(status.has_value());
    return status.value_or(Platform::ItemStat {});
}

} // namespace

// Proves the hash is the SHA-1 of the content, also past the read buffer, and a repeat answers from memory.
TEST(ContentHashCacheTests, HashesOnceAndAnswersFromMemory)
{
    TemporaryDirectory root;
    std::string content(700 * 1024 + 3, 'q');
    writeFile(root / "big", content);
    auto cache = ContentHashCache::create({ .racyInterval = std::chrono::nanoseconds { 0 } });

    auto generation = cache->beginScan();
    auto first = cache->hash(root / "big", statusOf(root / "big"), generation);
    auto second = cache->hash(root / "big", statusOf(root / "big"), generation);

    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, Platform::sha1Hex(std::string_view(content)));
    EXPECT_EQ(second, first);
    EXPECT_EQ(cache->readCount(), 1u);
}

// Proves a file changed shortly before it was read is not remembered, so it is read again next time.
TEST(ContentHashCacheTests, RecentlyChangedFilesAreNotRemembered)
{
    TemporaryDirectory root;
    writeFile(root / "fresh", "x");
    auto cache = ContentHashCache::create({ .racyInterval = std::chrono::hours { 1 } });

    auto generation = cache->beginScan();
    (void)cache->hash(root / "fresh", statusOf(root / "fresh"), generation);
    (void)cache->hash(root / "fresh", statusOf(root / "fresh"), generation);

    EXPECT_EQ(cache->readCount(), 2u);
    EXPECT_EQ(cache->size(), 0u);
}

// Proves a file that vanished is notFound, and a link put in a file's place is never read through.
TEST(ContentHashCacheTests, VanishedFilesAndLinksAreRefused)
{
    TemporaryDirectory root;
    writeFile(root / "target", "t");
    writeFile(root / "item", "i");
    auto status = statusOf(root / "item");
    ASSERT_EQ(::unlink((root / "item").c_str()), 0);
    auto cache = ContentHashCache::create();
    auto generation = cache->beginScan();

    auto vanished = cache->hash(root / "item", status, generation);
    ASSERT_FALSE(vanished.has_value());
    EXPECT_EQ(vanished.error().code, FileSystemErrorCode::notFound);

    ASSERT_EQ(::symlink((root / "target").c_str(), (root / "item").c_str()), 0);
    EXPECT_FALSE(cache->hash(root / "item", status, generation).has_value());

    // A pipe put in the file's place since it was listed reads as empty: it must not pass for an empty file.
    ASSERT_EQ(::unlink((root / "item").c_str()), 0);
    ASSERT_EQ(::mkfifo((root / "item").c_str(), 0600), 0);
    EXPECT_FALSE(cache->hash(root / "item", status, generation).has_value());
    // And a folder there is no file either.
    ASSERT_EQ(::unlink((root / "item").c_str()), 0);
    ASSERT_EQ(::mkdir((root / "item").c_str(), 0700), 0);
    EXPECT_FALSE(cache->hash(root / "item", status, generation).has_value());
}

// Proves a completed scan forgets entries no scan since its start has used, while a newer scan's entries stay.
TEST(ContentHashCacheTests, EndScanForgetsUnusedEntries)
{
    TemporaryDirectory root;
    writeFile(root / "a", "a");
    writeFile(root / "b", "b");
    auto cache = ContentHashCache::create({ .racyInterval = std::chrono::nanoseconds { 0 } });

    auto first = cache->beginScan();
    (void)cache->hash(root / "a", statusOf(root / "a"), first);
    (void)cache->hash(root / "b", statusOf(root / "b"), first);
    cache->endScan(first);
    ASSERT_EQ(cache->size(), 2u);

    auto older = cache->beginScan();
    auto newer = cache->beginScan();
    (void)cache->hash(root / "a", statusOf(root / "a"), newer);
    (void)cache->hash(root / "a", statusOf(root / "a"), older);
    cache->endScan(older);
    EXPECT_EQ(cache->size(), 1u);
    cache->endScan(newer);
    EXPECT_EQ(cache->size(), 1u);
    EXPECT_EQ(cache->readCount(), 2u);
}

// Proves an edit in place that keeps the size and the inode is read again, and a remembered hash belongs to
// its modification time: a status differing in that alone is not answered from memory.
TEST(ContentHashCacheTests, ASameSizeEditInPlaceIsReadAgain)
{
    TemporaryDirectory root;
    const std::string path = root / "doc";
    writeFile(path, "first");
    setModificationTime(path, Platform::Date::fromWholeSecondsSince1970(1'000'000'000));
    auto cache = ContentHashCache::create({ .racyInterval = std::chrono::nanoseconds { 0 } });
    auto generation = cache->beginScan();
    const auto before = statusOf(path);
    cache->learn(path, Platform::sha1Hex(std::string_view("first")), before.modificationTime);
    ASSERT_EQ(cache->rememberedHash(before, generation), Platform::sha1Hex(std::string_view("first")));

    int descriptor = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::pwrite(descriptor, "later", 5, 0), 5);
    ::close(descriptor);
    setModificationTime(path, Platform::Date::fromWholeSecondsSince1970(1'000'000'060));
    const auto after = statusOf(path);
    ASSERT_EQ(after.inode, before.inode);
    ASSERT_EQ(after.size, before.size);

    EXPECT_EQ(cache->hash(path, after, generation), Platform::sha1Hex(std::string_view("later")));
    auto onlyTheTimeDiffers = before;
    onlyTheTimeDiffers.modificationTime += std::chrono::seconds(1);
    EXPECT_EQ(cache->rememberedHash(onlyTheTimeDiffers, generation), std::nullopt);
}
