#include "Platform/FileSystem/DirectoryEnumerator.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace Platform;
using namespace Platform::Testing;

namespace {

struct Walk {
    std::vector<DirectoryEntry> entries;
    std::vector<EnumerationError> errors;

    std::vector<std::string> relativePaths() const
    {
        std::vector<std::string> paths;
        for (auto const& entry : entries) {
            paths.push_back(entry.relativePath);
        }
        return paths;
    }
};

Walk walk(const std::string& root)
{
    Walk result;
    auto enumerator =
        DirectoryEnumerator::open(root, [&result](const EnumerationError& error) { result.errors.push_back(error); });
    EXPECT_TRUE(enumerator.has_value());
    while (auto entry = enumerator->next()) {
        result.entries.push_back(*entry);
    }
    return result;
}

}  // namespace

// Proves the walk is pre-order, sorted by name byte for byte in every directory, includes hidden items and
// gives paths relative to the root with a leading slash.
TEST(DirectoryEnumeratorTests, WalksPreOrderSortedWithHiddenItems)
{
    TemporaryDirectory root;
    ::mkdir((root / "b").c_str(), 0755);
    ::mkdir((root / "b/inner").c_str(), 0755);
    writeFile(root / "b/inner/deep.txt", "x");
    writeFile(root / "b/Z.txt", "");
    writeFile(root / "a.txt", "a");
    writeFile(root / ".hidden", "h");
    writeFile(root / "B.txt", "");

    auto const result = walk(root.path());

    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(result.relativePaths(), (std::vector<std::string>{"/.hidden", "/B.txt", "/a.txt", "/b", "/b/Z.txt",
                                                                "/b/inner", "/b/inner/deep.txt"}));
    auto const& deep = result.entries.back();
    EXPECT_EQ(deep.name, "deep.txt");
    EXPECT_EQ(deep.path, root / "b/inner/deep.txt");
    EXPECT_EQ(deep.depth, 3);
    EXPECT_TRUE(deep.status.isRegularFile());
    EXPECT_EQ(deep.status.size, 1u);
    EXPECT_TRUE(result.entries[3].status.isDirectory());
}

// Proves an empty folder yields nothing, and that a missing root or a file as root is an error up front.
TEST(DirectoryEnumeratorTests, EmptyMissingAndFileRoots)
{
    TemporaryDirectory root;
    EXPECT_TRUE(walk(root.path()).entries.empty());

    auto missing = DirectoryEnumerator::open(root / "missing");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, FileSystemErrorCode::notFound);

    writeFile(root / "file", "");
    auto file = DirectoryEnumerator::open(root / "file");
    ASSERT_FALSE(file.has_value());
    EXPECT_EQ(file.error().code, FileSystemErrorCode::notADirectory);
}

// Proves symbolic links are reported as links and never followed, while a root that is itself a link is
// entered and the relative paths stay lexical (under the name the walk was given).
TEST(DirectoryEnumeratorTests, ReportsLinksWithoutFollowingThem)
{
    TemporaryDirectory outside;
    writeFile(outside / "secret.txt", "s");
    TemporaryDirectory root;
    ::mkdir((root / "cloud").c_str(), 0755);
    ASSERT_EQ(::symlink(outside.path().c_str(), (root / "cloud/link").c_str()), 0);
    ASSERT_EQ(::symlink((root / "cloud").c_str(), (root / "cloud-link").c_str()), 0);

    auto const result = walk(root / "cloud-link");

    ASSERT_EQ(result.relativePaths(), std::vector<std::string>{"/link"});
    EXPECT_TRUE(result.entries[0].status.isSymbolicLink());
    EXPECT_EQ(result.entries[0].path, root / "cloud-link/link");
}

// Proves a name that is not valid UTF-8 is flagged, and a directory with such a name is not descended into.
TEST(DirectoryEnumeratorTests, FlagsInvalidUTF8Names)
{
    TemporaryDirectory root;
    std::string const badDirectory = root / "bad\xff";
    ::mkdir(badDirectory.c_str(), 0755);
    writeFile(badDirectory + "/inside.txt", "");
    writeFile(root / "caf\xc3\xa9.txt", "");
    writeFile(root / "over\xc0\xaflong", "");

    auto const result = walk(root.path());

    ASSERT_EQ(result.entries.size(), 3u);
    EXPECT_FALSE(result.entries[0].hasValidName);  // "bad\xff"; its content is not listed
    EXPECT_TRUE(result.entries[1].hasValidName);   // "café.txt"
    EXPECT_FALSE(result.entries[2].hasValidName);  // an overlong "/"
}

// Proves a directory that vanishes after it was listed is reported as not found and the walk goes on.
TEST(DirectoryEnumeratorTests, SkipsItemsThatVanishDuringTheWalk)
{
    TemporaryDirectory root;
    ::mkdir((root / "a").c_str(), 0755);
    writeFile(root / "a/one", "");
    writeFile(root / "b", "");

    std::vector<EnumerationError> errors;
    auto enumerator = DirectoryEnumerator::open(root.path(), [&](const EnumerationError& error) { errors.push_back(error); });
    ASSERT_TRUE(enumerator.has_value());
    auto first = enumerator->next();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->relativePath, "/a");
    std::filesystem::remove_all(root / "a");

    std::vector<std::string> rest;
    while (auto entry = enumerator->next()) {
        rest.push_back(entry->relativePath);
    }
    EXPECT_EQ(rest, std::vector<std::string>{"/b"});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].error.code, FileSystemErrorCode::notFound);
    EXPECT_EQ(errors[0].relativePath, "/a");
}

// Proves skipDescendants leaves out the contents of the directory just returned.
TEST(DirectoryEnumeratorTests, SkipsDescendantsOnRequest)
{
    TemporaryDirectory root;
    ::mkdir((root / "a").c_str(), 0755);
    writeFile(root / "a/inside", "");
    writeFile(root / "b", "");

    auto enumerator = DirectoryEnumerator::open(root.path());
    ASSERT_TRUE(enumerator.has_value());
    std::vector<std::string> seen;
    while (auto entry = enumerator->next()) {
        seen.push_back(entry->relativePath);
        if (entry->status.isDirectory()) {
            enumerator->skipDescendants();
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"/a", "/b"}));
}

// Proves an unreadable subdirectory is listed, reported once as an error, and the walk goes on. Root reads
// everything, so as root the walk runs in a child process that has dropped to an unprivileged user.
TEST(DirectoryEnumeratorTests, ReportsUnreadableDirectoryAndGoesOn)
{
    TemporaryDirectory root;
    ::chmod(root.path().c_str(), 0755);
    ::mkdir((root / "locked").c_str(), 0755);
    writeFile(root / "locked/hidden", "");
    writeFile(root / "z.txt", "");
    ::chmod((root / "locked").c_str(), 0);

    auto const describe = [&root] {
        auto const result = walk(root.path());
        std::string text;
        for (auto const& path : result.relativePaths()) {
            text += path + ";";
        }
        for (auto const& error : result.errors) {
            text += "error:" + error.relativePath + ":" + std::to_string(error.error.systemError) + ";";
        }
        return text;
    };
    std::string observed;
    if (::geteuid() != 0) {
        observed = describe();
    } else {
        int pipeDescriptors[2];
        ASSERT_EQ(::pipe(pipeDescriptors), 0);
        pid_t const child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeDescriptors[0]);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(2);
            }
            std::string const text = describe();
            [[maybe_unused]] auto const written = ::write(pipeDescriptors[1], text.data(), text.size());
            ::_exit(0);
        }
        ::close(pipeDescriptors[1]);
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::read(pipeDescriptors[0], buffer, sizeof buffer)) > 0) {
            observed.append(buffer, static_cast<std::size_t>(count));
        }
        ::close(pipeDescriptors[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);
    }
    ::chmod((root / "locked").c_str(), 0755);
    EXPECT_EQ(observed, "/locked;/z.txt;error:/locked:" + std::to_string(EACCES) + ";");
}
