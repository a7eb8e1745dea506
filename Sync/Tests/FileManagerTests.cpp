#include "Sync/Disk/FileManager.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Sync;
using namespace Sync::Testing;
using Platform::Testing::writeFile;

namespace {

std::vector<std::string> walk(const DirectorySequence& sequence, std::size_t prefix)
{
    std::vector<std::string> paths;
    for (const auto& url : sequence)
        paths.push_back(url.path().substr(prefix));
    return paths;
}

} // namespace

// Proves the sequence lists every item below the directory in pre-order, folders ending in "/", links unfollowed.
TEST(FileManagerTests, DirectorySequenceListsEveryItemInPreOrder)
{
    TemporaryDirectory root;
    ASSERT_EQ(::mkdir((root / "b").c_str(), 0755), 0);
    writeFile(root / "b/.hidden", "");
    writeFile(root / "a b.txt", "");
    ASSERT_EQ(::symlink("/", (root / "c").c_str()), 0);

    auto sequence = FileManager::directorySequence(Platform::URL::fileURL(root.path(), Platform::URL::IsDirectory::Yes));

    EXPECT_EQ(walk(sequence, root.path().size()), (std::vector<std::string> { "/a b.txt", "/b/", "/b/.hidden", "/c" }));
}

// Proves each walk of a sequence reads the disk anew.
TEST(FileManagerTests, EveryIterationWalksAgain)
{
    TemporaryDirectory root;
    auto sequence = FileManager::directorySequence(Platform::URL::fileURL(root.path()));
    EXPECT_TRUE(walk(sequence, root.path().size()).empty());

    writeFile(root / "new", "");
    EXPECT_EQ(walk(sequence, root.path().size()), (std::vector<std::string> { "/new" }));
}

// Proves a missing directory gives an empty sequence and one log line, and a URL of another scheme gives nothing.
TEST(FileManagerTests, UnreadableDirectoriesGiveNothing)
{
    TemporaryDirectory root;
    Platform::LogCapture log;

    EXPECT_TRUE(walk(FileManager::directorySequence(Platform::URL::fileURL(root / "missing")), 0).empty());
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines().front().starts_with("❗️ "));
    EXPECT_TRUE(walk(FileManager::directorySequence(*Platform::URL::create("https://example.org/")), 0).empty());
}
