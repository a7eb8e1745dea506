#include "Platform/FileSystem/PathResolver.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Platform;
using namespace Platform::Testing;
using namespace std::string_literals;

namespace {

// "München" with the umlaut precomposed (NFC) and decomposed (NFD).
const std::string munichNFC = "M\xc3\xbcnchen";
const std::string munichNFD = "Mu\xcc\x88nchen";

}  // namespace

// Proves stored and server paths join under the folder with or without a leading slash, folder paths with a
// trailing slash included, and that "" and "/" give the folder itself.
TEST(PathResolverTests, JoinsPathsBelowTheFolder)
{
    TemporaryDirectory root;
    PathResolver const resolver(root.path());
    EXPECT_EQ(resolver.resolve("/Docs/a.txt"), root / "Docs/a.txt");
    EXPECT_EQ(resolver.resolve("Docs/a.txt"), root / "Docs/a.txt");
    EXPECT_EQ(resolver.resolve("/Docs/"), root / "Docs");
    EXPECT_EQ(resolver.resolve("/"), root.path());
    EXPECT_EQ(resolver.resolve(""), root.path());
    EXPECT_EQ(resolver.resolve("/.hidden"), root / ".hidden");
}

// Proves every path that could leave the folder or name something else is refused before the disk is
// touched: "..", ".", empty components, NUL bytes and names that are not UTF-8.
TEST(PathResolverTests, RefusesUnsafePaths)
{
    TemporaryDirectory parent;
    ASSERT_TRUE(createDirectory(parent / "cloud", CreateIntermediates::No).has_value());
    writeFile(parent / "secret", "s");
    PathResolver const resolver(parent / "cloud");
    for (std::string const& path : {"/../secret"s, "/a/../../secret"s, ".."s, "/a/./b"s, "./a"s, "//a"s, "/a//b"s,
                                   "/a/b//"s, "/a\0b"s, "/caf\xe9"s}) {
        auto resolved = resolver.resolve(path);
        ASSERT_FALSE(resolved.has_value()) << path;
        EXPECT_EQ(resolved.error().code, FileSystemErrorCode::invalidPath) << path;
    }
}

// Proves an entry written in NFD on disk is found from the NFC path the engine stores, an exact match wins
// over a normalised one, and a name with no entry yet comes out in NFC.
TEST(PathResolverTests, FindsDecomposedNamesOnDisk)
{
    TemporaryDirectory root;
    ASSERT_TRUE(createDirectory(root / munichNFD, CreateIntermediates::No).has_value());
    writeFile(root / (munichNFD + "/Plan.txt"), "p");
    PathResolver const resolver(root.path());

    EXPECT_EQ(resolver.resolve("/" + munichNFC + "/Plan.txt"), root / (munichNFD + "/Plan.txt"));
    EXPECT_EQ(resolver.resolve("/" + munichNFD + "/Plan.txt"), root / (munichNFD + "/Plan.txt"));

    ASSERT_TRUE(createDirectory(root / munichNFC, CreateIntermediates::No).has_value());
    EXPECT_EQ(resolver.resolve("/" + munichNFC), root / munichNFC);
    EXPECT_EQ(resolver.resolve("/" + munichNFD), root / munichNFD);

    EXPECT_EQ(resolver.resolve("/Neu/" + munichNFD + ".txt"), root / ("Neu/" + munichNFC + ".txt"));
}

// Proves a symbolic link on the way is refused (it could lead out of the folder), a link as the last
// component is allowed, and a cloud folder that is itself a link is made canonical.
TEST(PathResolverTests, HandlesSymbolicLinksSafely)
{
    TemporaryDirectory outside;
    TemporaryDirectory root;
    ASSERT_TRUE(createDirectory(root / "cloud", CreateIntermediates::No).has_value());
    ASSERT_EQ(::symlink(outside.path().c_str(), (root / "cloud/escape").c_str()), 0);
    ASSERT_EQ(::symlink((root / "cloud").c_str(), (root / "link-to-cloud").c_str()), 0);
    PathResolver const resolver(root / "link-to-cloud");

    auto through = resolver.resolve("/escape/file.txt");
    ASSERT_FALSE(through.has_value());
    EXPECT_EQ(through.error().code, FileSystemErrorCode::symbolicLink);
    EXPECT_EQ(resolver.resolve("/escape"), root / "cloud/escape");
    EXPECT_EQ(resolver.canonicalFolder(), root / "cloud");

    PathResolver const missing(root / "gone");
    auto gone = missing.resolve("/a");
    ASSERT_FALSE(gone.has_value());
    EXPECT_EQ(gone.error().code, FileSystemErrorCode::notFound);
}

// Proves paths come from where the cloud folder is now, however often it was resolved before: a folder
// swapped for a link to another place, a link to the folder pointed elsewhere, a folder swapped for another
// directory, or one removed, never keep giving paths into what the folder was.
TEST(PathResolverTests, FollowsTheFolderWhenItChangesBetweenCalls)
{
    TemporaryDirectory outside;
    TemporaryDirectory root;
    ASSERT_TRUE(createDirectory(root / "cloud", CreateIntermediates::No).has_value());
    ASSERT_TRUE(createDirectory(root / "other", CreateIntermediates::No).has_value());

    PathResolver const direct(root / "cloud");
    EXPECT_EQ(direct.resolve("/a"), root / "cloud/a");
    EXPECT_EQ(direct.resolve("/a"), root / "cloud/a");
    ASSERT_EQ(::rename((root / "cloud").c_str(), (root / "kept").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), (root / "cloud").c_str()), 0);
    EXPECT_EQ(direct.resolve("/a"), outside / "a");

    ASSERT_EQ(::unlink((root / "cloud").c_str()), 0);
    ASSERT_TRUE(createDirectory(root / "cloud", CreateIntermediates::No).has_value());
    EXPECT_EQ(direct.resolve("/a"), root / "cloud/a");
    ASSERT_EQ(::rmdir((root / "cloud").c_str()), 0);
    ASSERT_EQ(::rename((root / "other").c_str(), (root / "cloud").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), (root / "cloud/escape").c_str()), 0);
    auto through = direct.resolve("/escape/file.txt");
    ASSERT_FALSE(through.has_value());
    EXPECT_EQ(through.error().code, FileSystemErrorCode::symbolicLink);

    ASSERT_TRUE(createDirectory(root / "first", CreateIntermediates::No).has_value());
    ASSERT_EQ(::symlink((root / "first").c_str(), (root / "link").c_str()), 0);
    PathResolver const linked(root / "link");
    EXPECT_EQ(linked.resolve("/a"), root / "first/a");
    ASSERT_EQ(::unlink((root / "link").c_str()), 0);
    ASSERT_EQ(::symlink((root / "kept").c_str(), (root / "link").c_str()), 0);
    EXPECT_EQ(linked.resolve("/a"), root / "kept/a");

    ASSERT_EQ(::rmdir((root / "first").c_str()), 0);
    ASSERT_EQ(::unlink((root / "link").c_str()), 0);
    auto gone = linked.resolve("/a");
    ASSERT_FALSE(gone.has_value());
    EXPECT_EQ(gone.error().code, FileSystemErrorCode::notFound);
}
