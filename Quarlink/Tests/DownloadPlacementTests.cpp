// Placing finished downloads: atomic replacement, refusals that move nothing, and the old file kept on failure.

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/DownloadPlacement.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace Quarlink;
namespace fs = std::filesystem;

namespace {

class DownloadPlacementTests : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("placement-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder / "tmp");
    }
    void TearDown() override { fs::remove_all(m_folder); }

    fs::path write(const fs::path& path, const std::string& text)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
        return path;
    }

    static std::string read(const fs::path& path)
    {
        std::ifstream stream(path);
        return std::string(std::istreambuf_iterator<char>(stream), {});
    }

    DownloadResponse finished(const fs::path& temporary)
    {
        return DownloadResponse { Platform::URL::fileURL(temporary.string()), HTTPURLResponse(*Platform::URL::create("http://127.0.0.1/d"), 200, {}) };
    }

    Platform::URL destination(const std::string& relative) { return Platform::URL::fileURL((m_folder / relative).string()); }

    fs::path m_folder;
};

} // namespace

TEST_F(DownloadPlacementTests, MovesIntoNewFoldersAndReplacesAnOldFile)
{
    // The destination's folders are made; an existing file is replaced by the new content; the temporary file is gone.
    auto placed = placeDownload(finished(write(m_folder / "tmp/1", "new")), destination("F/42/a.txt"), true);
    ASSERT_TRUE(placed) << placed.error().description();
    EXPECT_EQ(*placed, destination("F/42/a.txt"));
    EXPECT_EQ(read(m_folder / "F/42/a.txt"), "new");
    EXPECT_FALSE(fs::exists(m_folder / "tmp/1"));

    auto again = placeDownload(finished(write(m_folder / "tmp/2", "newer")), destination("F/42/a.txt"), true);
    ASSERT_TRUE(again);
    EXPECT_EQ(read(m_folder / "F/42/a.txt"), "newer");
}

TEST_F(DownloadPlacementTests, WithoutDestinationTheCallerOwnsTheTemporaryFile)
{
    // No destination: the delivered file is already the caller's and is handed over where it lies.
    auto temporary = write(m_folder / "tmp/thumb", "png");
    auto placed = placeDownload(finished(temporary), std::nullopt, true);
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->path(), temporary.string());
    EXPECT_EQ(read(placed->path()), "png");
}

TEST_F(DownloadPlacementTests, DiscardingRemovesOnlyTheDeliveredFile)
{
    // A finished download nobody receives loses its file; progress events and downloads without a file touch nothing.
    auto temporary = write(m_folder / "tmp/1", "x");
    auto other = write(m_folder / "tmp/2", "y");
    discardDownload(ProgressEvent<DownloadResponse>::progress(0.5));
    discardDownload(DownloadResponse { std::nullopt, finished(temporary).response });
    EXPECT_TRUE(fs::exists(temporary));
    discardDownload(ProgressEvent<DownloadResponse>::downloaded(finished(temporary)));
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_TRUE(fs::exists(other));
    discardDownload(finished(temporary));
}

TEST_F(DownloadPlacementTests, FailedMovesKeepTheOldFile)
{
    // Without overwrite an occupied destination fails as already there; a vanished temporary file fails too; the old file stays each time.
    write(m_folder / "F/a.txt", "old");
    auto refused = placeDownload(finished(write(m_folder / "tmp/1", "new")), destination("F/a.txt"), false);
    ASSERT_FALSE(refused);
    ASSERT_TRUE(refused.error().is<Platform::FileSystemError>());
    EXPECT_EQ(refused.error().as<Platform::FileSystemError>()->code, Platform::FileSystemErrorCode::alreadyExists);
    EXPECT_EQ(read(m_folder / "F/a.txt"), "old");
    EXPECT_TRUE(fs::exists(m_folder / "tmp/1"));

    auto vanished = placeDownload(finished(m_folder / "tmp/missing"), destination("F/a.txt"), true);
    ASSERT_FALSE(vanished);
    EXPECT_TRUE(vanished.error().is<Platform::FileSystemError>());
    EXPECT_EQ(read(m_folder / "F/a.txt"), "old");
}

TEST_F(DownloadPlacementTests, DirectoryAtDestinationIsNeverDeleted)
{
    // A directory where the file should go stays with its contents, and the move fails.
    write(m_folder / "F/a.txt/keep", "inside");
    auto placed = placeDownload(finished(write(m_folder / "tmp/1", "new")), destination("F/a.txt"), true);
    ASSERT_FALSE(placed);
    EXPECT_EQ(read(m_folder / "F/a.txt/keep"), "inside");
}

TEST_F(DownloadPlacementTests, UnsafeNamesAreRefusedAndNothingMoves)
{
    // "..", an empty name, a folder URL and a missing temporary file are client errors; the temporary file stays put.
    auto temporary = write(m_folder / "tmp/1", "new");
    for (auto unsafe : { Platform::URL::fileURL((m_folder / "F/..").string()), Platform::URL::fileURL((m_folder / "F").string(), Platform::URL::IsDirectory::Yes),
             *Platform::URL::create("file://" + (m_folder / "F/x%00y").string()), *Platform::URL::create("http://127.0.0.1/F/a") }) {
        auto placed = placeDownload(finished(temporary), unsafe, true);
        ASSERT_FALSE(placed) << unsafe.absoluteString();
        ASSERT_TRUE(placed.error().is<APIClientError>());
        EXPECT_EQ(placed.error().as<APIClientError>()->errorCase(), APIClientError::Case::invalidDownload);
    }
    EXPECT_EQ(read(temporary), "new");
    EXPECT_FALSE(fs::exists(m_folder / "F"));

    DownloadResponse noFile { std::nullopt, finished(temporary).response };
    EXPECT_EQ(placeDownload(noFile, destination("a"), true).error().as<APIClientError>()->errorCase(), APIClientError::Case::invalidDownload);
    EXPECT_TRUE(isSafeFileName("a b.txt"));
    for (std::string_view name : { std::string_view(""), std::string_view("."), std::string_view(".."), std::string_view("a/b"), std::string_view("a\0b", 3) })
        EXPECT_FALSE(isSafeFileName(name));
}

TEST_F(DownloadPlacementTests, ProgressEventsPassWithoutTouchingFiles)
{
    // progress and waiting pass unchanged; downloaded carries the placed file.
    auto progress = placeDownload(ProgressEvent<DownloadResponse>::progress(0.25), destination("a"), true);
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->progressValue(), 0.25);
    EXPECT_TRUE(placeDownload(ProgressEvent<DownloadResponse>::waiting(), destination("a"), true)->isWaiting());
    EXPECT_FALSE(fs::exists(m_folder / "a"));

    auto done = placeDownload(ProgressEvent<DownloadResponse>::downloaded(finished(write(m_folder / "tmp/1", "x"))), destination("a"), true);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->downloadedValue(), destination("a"));
}

TEST_F(DownloadPlacementTests, CopiesAcrossFileSystems)
{
    // A temporary file on another file system is copied next to the destination and renamed into place; no sibling is left.
    fs::path shared = "/dev/shm";
    struct stat here {}, there {};
    if (::stat(m_folder.c_str(), &here) != 0 || ::stat(shared.c_str(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system to move across";
    auto temporary = shared / ("placement-" + std::to_string(::getpid()));
    write(temporary, "far");
    write(m_folder / "F/a.txt", "old");
    auto placed = placeDownload(finished(temporary), destination("F/a.txt"), true);
    ASSERT_TRUE(placed) << placed.error().description();
    EXPECT_EQ(read(m_folder / "F/a.txt"), "far");
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder / "F"), fs::directory_iterator()), 1);
}
