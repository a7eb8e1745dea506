#include "Platform/FileSystem/FileOperations.hpp"

#include "Platform/FileSystem/Tests/MountOfItsOwn.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/KillPoint.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Platform;
using namespace Platform::Testing;

namespace {

FileSystemErrorCode codeOf(const std::expected<void, FileSystemError>& result)
{
    EXPECT_FALSE(result.has_value());
    return result ? FileSystemErrorCode::other : result.error().code;
}

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
}

// Whether `folder` lies on another file system than `other`.
bool onAnotherFileSystem(const std::string& folder, const std::string& other)
{
    struct stat here {}, there {};
    return ::stat(folder.c_str(), &here) == 0 && ::stat(other.c_str(), &there) == 0 && here.st_dev != there.st_dev;
}

// What a placement across file systems leaves at the moment between its copy
// and its rename, as a crash there would find it.
struct AtTheCopiedMoment {
    static inline std::string folder;
    static inline std::string destination;
    static inline std::vector<std::string> names;
    static inline std::string content;

    static void record(const char* name)
    {
        if (std::string(name) != "file-copied-beside-destination") {
            return;
        }
        names = namesIn(folder);
        content = exists(destination) ? readFile(destination) : std::string("<none>");
    }
};

}  // namespace

// Proves a folder is made with its parents and its date, that an existing folder answers "already exists",
// that a file in the way is not taken for a folder, and that parents are made only when asked.
TEST(FileOperationsTests, CreatesDirectories)
{
    TemporaryDirectory root;
    FileTime const date{std::chrono::nanoseconds{1'600'000'000'123'456'789}};
    ASSERT_TRUE(createDirectory(root / "a/b/c", CreateIntermediates::Yes, date).has_value());
    auto status = ItemStat::of(root / "a/b/c");
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->isDirectory());
    EXPECT_EQ(status->modificationTime, date);

    EXPECT_EQ(codeOf(createDirectory(root / "a/b/c", CreateIntermediates::Yes)), FileSystemErrorCode::alreadyExists);
    writeFile(root / "file", "");
    EXPECT_EQ(codeOf(createDirectory(root / "file", CreateIntermediates::No)), FileSystemErrorCode::notADirectory);
    EXPECT_EQ(codeOf(createDirectory(root / "x/y", CreateIntermediates::No)), FileSystemErrorCode::notFound);
    EXPECT_FALSE(exists(root / "x"));
}

// Proves a folder is made below up to 257 missing parents at once, and that one more missing parent is refused
// before anything is made (the recursion over the parents is bounded).
TEST(FileOperationsTests, CreatesMissingParentsUpToTheBound)
{
    TemporaryDirectory root;
    auto chain = [](int levels) {
        std::string path;
        for (int level = 0; level < levels; ++level) {
            path += "/d";
        }
        return path;
    };
    ASSERT_TRUE(createDirectory(root / ("deepest" + chain(257)), CreateIntermediates::Yes).has_value());
    EXPECT_TRUE(ItemStat::of(root / ("deepest" + chain(257)))->isDirectory());
    EXPECT_EQ(codeOf(createDirectory(root / ("beyond" + chain(258)), CreateIntermediates::Yes)), FileSystemErrorCode::notFound);
    EXPECT_FALSE(exists(root / "beyond"));
}

// Proves file times are exact up to the last whole second nanoseconds since 1970 can hold on either side, and a
// time beyond (a date set by hand on a file) is the nearest one inside, never a wrapped one.
TEST(FileOperationsTests, FileTimesSaturateJustBeyondTheirRange)
{
    constexpr std::int64_t latest = std::numeric_limits<std::int64_t>::max() / 1'000'000'000 - 1;
    constexpr std::int64_t earliest = std::numeric_limits<std::int64_t>::min() / 1'000'000'000 + 1;
    EXPECT_EQ(fileTimeFrom(timespec{latest, 999'999'999}),
              FileTime{std::chrono::seconds{latest} + std::chrono::nanoseconds{999'999'999}});
    EXPECT_EQ(fileTimeFrom(timespec{latest + 1, 0}), FileTime::max());
    EXPECT_EQ(fileTimeFrom(timespec{earliest, 0}), FileTime{std::chrono::seconds{earliest}});
    EXPECT_EQ(fileTimeFrom(timespec{earliest - 1, 999'999'999}), FileTime::min());

    TemporaryDirectory root;
    writeFile(root / "future", "");
    timespec const times[2] = {{latest + 1, 0}, {latest + 1, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (root / "future").c_str(), times, 0), 0);
    EXPECT_EQ(ItemStat::of(root / "future")->modificationTime, FileTime::max());
}

// Proves a recursive delete removes a whole tree, removes links without touching their targets, and that a
// second delete answers "not found".
TEST(FileOperationsTests, RemovesTreesWithoutFollowingLinks)
{
    TemporaryDirectory outside;
    writeFile(outside / "keep.txt", "keep");
    TemporaryDirectory root;
    ASSERT_TRUE(createDirectory(root / "tree/sub", CreateIntermediates::Yes).has_value());
    writeFile(root / "tree/sub/file", "x");
    writeFile(root / "tree/.hidden", "x");
    ASSERT_EQ(::symlink(outside.path().c_str(), (root / "tree/sub/link").c_str()), 0);
    writeFile(root / "single", "x");

    ASSERT_TRUE(removeItem(root / "tree").has_value());
    EXPECT_FALSE(exists(root / "tree"));
    EXPECT_EQ(readFile(outside / "keep.txt"), "keep");
    ASSERT_TRUE(removeItem(root / "single").has_value());
    EXPECT_FALSE(exists(root / "single"));

    EXPECT_EQ(codeOf(removeItem(root / "tree")), FileSystemErrorCode::notFound);
}

// Proves a move renames files and folders, never replaces an existing file or folder (both stay as they
// were), and tells a missing source from a missing destination folder.
TEST(FileOperationsTests, MovesNeverReplace)
{
    TemporaryDirectory root;
    writeFile(root / "a.txt", "a");
    writeFile(root / "b.txt", "b");
    ASSERT_TRUE(createDirectory(root / "folder", CreateIntermediates::No).has_value());
    writeFile(root / "folder/inside", "i");

    EXPECT_EQ(codeOf(moveItem(root / "a.txt", root / "b.txt")), FileSystemErrorCode::alreadyExists);
    EXPECT_EQ(readFile(root / "a.txt"), "a");
    EXPECT_EQ(readFile(root / "b.txt"), "b");
    EXPECT_EQ(codeOf(moveItem(root / "a.txt", root / "folder")), FileSystemErrorCode::alreadyExists);

    ASSERT_TRUE(moveItem(root / "a.txt", root / "folder/a.txt").has_value());
    EXPECT_EQ(readFile(root / "folder/a.txt"), "a");
    ASSERT_TRUE(moveItem(root / "folder", root / "renamed").has_value());
    EXPECT_EQ(readFile(root / "renamed/inside"), "i");

    auto gone = moveItem(root / "a.txt", root / "c.txt");
    ASSERT_FALSE(gone.has_value());
    EXPECT_EQ(gone.error().code, FileSystemErrorCode::notFound);
    EXPECT_EQ(gone.error().path, root / "a.txt");
    auto noParent = moveItem(root / "b.txt", root / "missing/b.txt");
    ASSERT_FALSE(noParent.has_value());
    EXPECT_EQ(noParent.error().path, root / "missing/b.txt");
}

// Proves the fallback used where the rename flag is unknown never replaces either, for files and folders,
// and leaves no reservation behind when it refuses.
TEST(FileOperationsTests, FallbackMoveNeverReplaces)
{
    TemporaryDirectory root;
    writeFile(root / "a.txt", "a");
    writeFile(root / "b.txt", "b");
    ASSERT_TRUE(createDirectory(root / "dir", CreateIntermediates::No).has_value());
    writeFile(root / "dir/inside", "i");
    ASSERT_TRUE(createDirectory(root / "emptyTarget", CreateIntermediates::No).has_value());

    EXPECT_EQ(codeOf(moveItemByReservation(root / "a.txt", root / "b.txt")), FileSystemErrorCode::alreadyExists);
    EXPECT_EQ(readFile(root / "b.txt"), "b");
    EXPECT_EQ(codeOf(moveItemByReservation(root / "dir", root / "emptyTarget")), FileSystemErrorCode::alreadyExists);
    EXPECT_TRUE(exists(root / "dir/inside"));
    EXPECT_EQ(codeOf(moveItemByReservation(root / "dir", root / "b.txt")), FileSystemErrorCode::alreadyExists);

    ASSERT_TRUE(moveItemByReservation(root / "a.txt", root / "c.txt").has_value());
    EXPECT_FALSE(exists(root / "a.txt"));
    EXPECT_EQ(readFile(root / "c.txt"), "a");
    ASSERT_TRUE(moveItemByReservation(root / "dir", root / "moved").has_value());
    EXPECT_EQ(readFile(root / "moved/inside"), "i");
    EXPECT_EQ(codeOf(moveItemByReservation(root / "a.txt", root / "d.txt")), FileSystemErrorCode::notFound);
}

// Proves the modification time is set to the nanosecond (also before 1970), the access time is kept, and a
// link gets its own date rather than its target's.
TEST(FileOperationsTests, SetsModificationTimeExactly)
{
    TemporaryDirectory root;
    writeFile(root / "a.txt", "");
    struct stat before {};
    ::stat((root / "a.txt").c_str(), &before);

    FileTime const date{std::chrono::nanoseconds{1'234'567'890'987'654'321}};
    ASSERT_TRUE(setModificationTime(root / "a.txt", date).has_value());
    EXPECT_EQ(ItemStat::of(root / "a.txt")->modificationTime, date);
    struct stat after {};
    ::stat((root / "a.txt").c_str(), &after);
    EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);
    EXPECT_EQ(after.st_atim.tv_nsec, before.st_atim.tv_nsec);

    FileTime const early{std::chrono::nanoseconds{-1'500'000'000}};
    ASSERT_TRUE(setModificationTime(root / "a.txt", early).has_value());
    EXPECT_EQ(ItemStat::of(root / "a.txt")->modificationTime, early);

    ASSERT_EQ(::symlink((root / "a.txt").c_str(), (root / "link").c_str()), 0);
    ASSERT_TRUE(setModificationTime(root / "link", date).has_value());
    EXPECT_EQ(ItemStat::of(root / "a.txt")->modificationTime, early);
    EXPECT_EQ(codeOf(setModificationTime(root / "missing", date)), FileSystemErrorCode::notFound);
}

// Proves a replacement swaps a file in one step, creates a missing destination, never replaces a
// directory (empty or not) and reports a missing source as such, leaving the destination alone.
TEST(FileOperationsTests, ReplacesFilesButNeverDirectories)
{
    TemporaryDirectory root;
    writeFile(root / "new", "new");
    writeFile(root / "old", "old");
    ASSERT_TRUE(replaceItem(root / "new", root / "old").has_value());
    EXPECT_EQ(readFile(root / "old"), "new");
    EXPECT_FALSE(exists(root / "new"));

    writeFile(root / "other", "other");
    ASSERT_TRUE(replaceItem(root / "other", root / "fresh").has_value());
    EXPECT_EQ(readFile(root / "fresh"), "other");

    ASSERT_TRUE(createDirectory(root / "empty", CreateIntermediates::No).has_value());
    ASSERT_TRUE(createDirectory(root / "dir", CreateIntermediates::No).has_value());
    EXPECT_EQ(codeOf(replaceItem(root / "dir", root / "empty")), FileSystemErrorCode::alreadyExists);
    EXPECT_EQ(codeOf(replaceItem(root / "fresh", root / "empty")), FileSystemErrorCode::alreadyExists);
    EXPECT_TRUE(exists(root / "dir"));
    EXPECT_EQ(readFile(root / "fresh"), "other");

    EXPECT_EQ(codeOf(replaceItem(root / "missing", root / "fresh")), FileSystemErrorCode::notFound);
    EXPECT_EQ(readFile(root / "fresh"), "other");
}

// Proves on one file system that a placement renames, replaces a file only when asked and never a folder, and that
// every refusal leaves both the source and what lies at the destination as they were.
TEST(FileOperationsTests, PlacesAFileReplacingOnlyWhenAsked)
{
    TemporaryDirectory root;
    writeFile(root / "new", "new");
    writeFile(root / "old", "old");
    EXPECT_EQ(codeOf(placeFile(root / "new", root / "old", ReplaceExisting::No)), FileSystemErrorCode::alreadyExists);
    EXPECT_EQ(readFile(root / "old"), "old");
    EXPECT_EQ(readFile(root / "new"), "new");

    ASSERT_TRUE(placeFile(root / "new", root / "old", ReplaceExisting::Yes).has_value());
    EXPECT_EQ(readFile(root / "old"), "new");
    EXPECT_FALSE(exists(root / "new"));

    ASSERT_TRUE(createDirectory(root / "folder", CreateIntermediates::No).has_value());
    EXPECT_EQ(codeOf(placeFile(root / "old", root / "folder", ReplaceExisting::Yes)), FileSystemErrorCode::alreadyExists);
    EXPECT_EQ(readFile(root / "old"), "new");
    EXPECT_TRUE(namesIn(root / "folder").empty());

    EXPECT_EQ(codeOf(placeFile(root / "missing", root / "fresh", ReplaceExisting::No)), FileSystemErrorCode::notFound);
    EXPECT_EQ(namesIn(root.path()), (std::vector<std::string> { "folder", "old" }));
}

// Proves across file systems that the file is copied beside the destination (a hidden name after it) and renamed
// over it: a crash between the two finds the old file whole and the copy complete; a refusal leaves the source,
// the old file and no copy; the name of a hidden destination begins the copy's name.
TEST(FileOperationsTests, PlacesAcrossFileSystemsThroughACopyBesideTheDestination)
{
    if (!onAnotherFileSystem("/dev/shm", TemporaryDirectory().path())) {
        GTEST_SKIP() << "no second file system to place across";
    }
    TemporaryDirectory far("/dev/shm");
    TemporaryDirectory root;
    writeFile(far / "download", "far");
    writeFile(root / "a.txt", "old");

    EXPECT_EQ(codeOf(placeFile(far / "download", root / "a.txt", ReplaceExisting::No)), FileSystemErrorCode::alreadyExists);
    EXPECT_EQ(readFile(root / "a.txt"), "old");
    EXPECT_EQ(readFile(far / "download"), "far");
    EXPECT_EQ(namesIn(root.path()), (std::vector<std::string> { "a.txt" }));

    AtTheCopiedMoment::folder = root.path();
    AtTheCopiedMoment::destination = root / "a.txt";
    killPointHandler.store(&AtTheCopiedMoment::record);
    auto placed = placeFile(far / "download", root / "a.txt", ReplaceExisting::Yes);
    killPointHandler.store(nullptr);
    ASSERT_TRUE(placed.has_value()) << placed.error().description();
    EXPECT_EQ(AtTheCopiedMoment::content, "old");
    ASSERT_EQ(AtTheCopiedMoment::names.size(), 2U);
    EXPECT_TRUE(AtTheCopiedMoment::names[0].starts_with(".a.txt.")) << AtTheCopiedMoment::names[0];
    EXPECT_EQ(readFile(root / "a.txt"), "far");
    EXPECT_FALSE(exists(far / "download"));
    EXPECT_EQ(namesIn(root.path()), (std::vector<std::string> { "a.txt" }));

    writeFile(far / "download", "hidden");
    AtTheCopiedMoment::destination = root / ".~staged";
    killPointHandler.store(&AtTheCopiedMoment::record);
    placed = placeFile(far / "download", root / ".~staged", ReplaceExisting::No);
    killPointHandler.store(nullptr);
    ASSERT_TRUE(placed.has_value()) << placed.error().description();
    EXPECT_EQ(AtTheCopiedMoment::content, "<none>");
    ASSERT_EQ(AtTheCopiedMoment::names.size(), 2U);
    EXPECT_TRUE(AtTheCopiedMoment::names[0].starts_with(".~staged.")) << AtTheCopiedMoment::names[0];
    EXPECT_EQ(readFile(root / ".~staged"), "hidden");
    EXPECT_EQ(namesIn(root.path()), (std::vector<std::string> { ".~staged", "a.txt" }));
}

// Proves a placement across file systems that fails half-way through its copy (the destination's disk is full)
// leaves no partial copy beside the destination: the source and whatever the destination held stay as they were,
// and nothing else is in the folder. The full disk is a small tmpfs of the test's own.
TEST(FileOperationsTests, ACopyThatFillsTheDiskLeavesNoPartialCopy)
{
    TemporaryDirectory root;
    writeFile(root / "download", std::string(1024 * 1024, 'x'));
    std::string const full = root / "full";
    ASSERT_TRUE(createDirectory(full, CreateIntermediates::No).has_value());

    auto const outcome = inMountOfItsOwn(full, [&]() -> std::string {
        std::string problems;
        auto check = [&problems](bool holds, const std::string& what) {
            if (!holds) {
                problems += what + "\n";
            }
        };
        writeFile(full + "/a.txt", "old");
        for (auto const replace : {ReplaceExisting::No, ReplaceExisting::Yes}) {
            auto const destination = full + (replace == ReplaceExisting::Yes ? "/a.txt" : "/new.txt");
            auto const placed = placeFile(root / "download", destination, replace);
            check(!placed && placed.error().code == FileSystemErrorCode::noSpace,
                  "not refused for want of space: " + (placed ? std::string("placed") : placed.error().description()));
            auto const names = namesIn(full);
            check(names == std::vector<std::string>{"a.txt"}, "left in the folder: " + [&] {
                std::string listed;
                for (auto const& name : names) {
                    listed += name + " ";
                }
                return listed;
            }());
            check(readFile(full + "/a.txt") == "old", "the old file changed");
            check(readFile(root / "download").size() == 1024 * 1024, "the source changed");
        }
        return problems;
    }, "mode=0755,size=64k");

    if (outcome.skipped) {
        GTEST_SKIP() << outcome.text;
    }
    EXPECT_EQ(outcome.text, "");
}
