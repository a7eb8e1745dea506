// Names and dates at the edges of what the disk and the engine's numbers hold.

#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;

namespace {

// DEVANAGARI LETTER QA: three bytes, which the composed form (NFC) the server
// keeps writes as KA and NUKTA, six bytes.
const std::string qa = "\xE0\xA5\x98";

std::string repeated(const std::string& text, int count)
{
    std::string result;
    for (int index = 0; index < count; ++index)
        result += text;
    return result;
}

void setModificationSeconds(const std::string& path, std::int64_t seconds)
{
    struct timespec times[2] {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

} // namespace

TEST(NameLimits, ANameThatGrowsPastTheDiskLimitUnderNFCIsUploadedOnceAndKept)
{
    // 255 bytes on disk, 510 in the form the server keeps: the item cannot
    // take the server's name, and once it was uploaded at every run.
    TestCloud cloud;
    const auto name = "/" + repeated(qa, 85);
    cloud.writeFile(name, "long name");

    auto first = cloud.sync();

    ASSERT_TRUE(first.completed);
    EXPECT_EQ(errorsOf(first), std::vector<std::string>());
    EXPECT_EQ(cloud.server->paths().size(), 1u);
    EXPECT_EQ(cloud.readFile(name), "long name");
    EXPECT_EQ(cloud.storedPaths().size(), 1u);
    cloud.server->resetCounts();
    for (int run = 0; run < 2; ++run) {
        auto again = cloud.sync();
        ASSERT_TRUE(again.completed);
        EXPECT_EQ(errorsOf(again), std::vector<std::string>());
    }
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
}

TEST(NameLimits, ANameTooLongForTheDiskSaysSo)
{
    TestCloud cloud;
    cloud.server->addFile("/" + repeated("n", 300), "too long");

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    auto errors = errorsOf(run);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("File name too long"), std::string::npos) << errors[0];
}

TEST(DateLimits, ModificationTimesBeyondWhatNanosecondsHoldSaturate)
{
    // 2300 once overflowed: the sanitizer stopped the scan, and a release
    // build sent the date as 1715. (Before 1677 the same holds; the file
    // systems tests run on keep no such date.)
    TestCloud cloud;
    cloud.writeFile("/future.txt", "future");
    setModificationSeconds(cloud.diskPath("/future.txt"), 10'413'792'000); // 2300-01-01

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    // The middle of 2261: the end of what nanoseconds since 1970 hold is beyond.
    constexpr std::int64_t year2261 = 9'200'000'000;
    ASSERT_TRUE(cloud.server->fileAt("/future.txt"));
    EXPECT_GE(cloud.server->fileAt("/future.txt")->lastModifiedDate().wholeSecondsSince1970(), year2261);
    expectIdle(cloud);
}
