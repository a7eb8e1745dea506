#include "Platform/Foundation/PathString.hpp"

#include <gtest/gtest.h>

using namespace Platform;

TEST(PathStringTests, DeletesTheLastComponent)
{
    // The parent of a top-level path is the root, trailing and doubled slashes do not count.
    EXPECT_EQ(deletingLastPathComponent("/Docs/a.txt"), "/Docs");
    EXPECT_EQ(deletingLastPathComponent("/a.txt"), "/");
    EXPECT_EQ(deletingLastPathComponent("/Docs/"), "/");
    EXPECT_EQ(deletingLastPathComponent("/Docs/Sub/"), "/Docs");
    EXPECT_EQ(deletingLastPathComponent("//Docs//a.txt"), "/Docs");
    EXPECT_EQ(deletingLastPathComponent("/"), "/");
    EXPECT_EQ(deletingLastPathComponent("a.txt"), "");
    EXPECT_EQ(deletingLastPathComponent("a/b"), "a");
    EXPECT_EQ(deletingLastPathComponent(""), "");
}

TEST(PathStringTests, ReadsAndAppendsComponents)
{
    // Components join with exactly one slash, and the last component ignores a trailing slash.
    EXPECT_EQ(lastPathComponent("/Docs/a.txt"), "a.txt");
    EXPECT_EQ(lastPathComponent("/Docs/"), "Docs");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(lastPathComponent(""), "");
    EXPECT_EQ(appendingPathComponent("/Docs", "a.txt"), "/Docs/a.txt");
    EXPECT_EQ(appendingPathComponent("/Docs/", "a.txt"), "/Docs/a.txt");
    EXPECT_EQ(appendingPathComponent("/", "/a.txt"), "/a.txt");
    EXPECT_EQ(appendingPathComponent("", "a.txt"), "a.txt");
    EXPECT_EQ(appendingPathComponent("/Docs", "Sub/"), "/Docs/Sub");
    EXPECT_EQ(pathComponents("/a//b/"), (std::vector<std::string> { "/", "a", "b" }));
    EXPECT_EQ(pathComponents("a"), (std::vector<std::string> { "a" }));
}

TEST(PathStringTests, StandardizesDots)
{
    // Dots resolve without touching the disk, and ".." never climbs above the root.
    EXPECT_EQ(standardizingPath("/Docs/../a.txt"), "/a.txt");
    EXPECT_EQ(standardizingPath("/./a/./b/"), "/a/b");
    EXPECT_EQ(standardizingPath("/../../a"), "/a");
    EXPECT_EQ(standardizingPath("../a"), "../a");
    EXPECT_EQ(standardizingPath("a/.."), ".");
    EXPECT_EQ(standardizingPath("/"), "/");
}

TEST(PathStringTests, SplitsExtensions)
{
    // The extension follows the last dot of the name; a leading dot is part of the name.
    EXPECT_EQ(pathExtension("/a/b.tar.gz"), "gz");
    EXPECT_EQ(pathExtension("/a/.profile"), "");
    EXPECT_EQ(pathExtension("/a.d/b"), "");
    EXPECT_EQ(deletingPathExtension("/a/b.tar.gz"), "/a/b.tar");
    EXPECT_EQ(deletingPathExtension("/a/b"), "/a/b");
}
