#include "Platform/Desktop/SidebarBookmarks.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

using namespace Platform;
using Platform::Testing::readFile;
using Platform::Testing::TemporaryDirectory;
using Platform::Testing::writeFile;

TEST(SidebarBookmarksTests, AppendsAfterTheLastEntryWithAPlainName)
{
    // A new entry goes after every existing one, as a percent-encoded file URI and a name without line breaks; its path reads back.
    TemporaryDirectory home;
    auto file = std::filesystem::path(home / "gtk-3.0/bookmarks");
    SidebarBookmarks bookmarks(file);
    EXPECT_TRUE(bookmarks.entries().empty());
    ASSERT_TRUE(bookmarks.append("/home/a/Musik", ""));
    ASSERT_TRUE(bookmarks.append("/home/a/brisanto cloud", "brisanto\ncloud"));
    auto entries = bookmarks.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].line, "file:///home/a/Musik");
    EXPECT_FALSE(entries[0].name);
    EXPECT_EQ(entries[1].line, "file:///home/a/brisanto%20cloud brisanto cloud");
    EXPECT_EQ(entries[1].path(), std::filesystem::path("/home/a/brisanto cloud"));
    EXPECT_EQ(readFile(file), "file:///home/a/Musik\nfile:///home/a/brisanto%20cloud brisanto cloud\n");
}

TEST(SidebarBookmarksTests, RemovingAnEntryKeepsEveryOtherLineByteForByte)
{
    // Odd lines (other schemes, trailing blanks, blank lines, a last line without a break) survive the removal of one entry untouched.
    TemporaryDirectory home;
    auto file = std::filesystem::path(home / "bookmarks");
    std::string before = "sftp://host/x Server  \n\nfile:///home/a/brisanto%20cloud brisanto cloud\nfile:///tmp/%C3%A4 Ä\nfile:///last";
    writeFile(file, before);
    SidebarBookmarks bookmarks(file);
    auto entries = bookmarks.entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2].path(), std::filesystem::path("/tmp/ä"));
    ASSERT_TRUE(bookmarks.remove(entries[1]));
    EXPECT_EQ(readFile(file), "sftp://host/x Server  \n\nfile:///tmp/%C3%A4 Ä\nfile:///last");
    EXPECT_FALSE(bookmarks.remove(entries[1]));
    ASSERT_TRUE(bookmarks.append("/new", "Neu"));
    EXPECT_EQ(readFile(file), "sftp://host/x Server  \n\nfile:///tmp/%C3%A4 Ä\nfile:///last\nfile:///new Neu\n");
}
