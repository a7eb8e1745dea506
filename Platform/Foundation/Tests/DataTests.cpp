#include "Platform/Foundation/Data.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace Platform;

TEST(DataTests, ReadsFilesAndReportsErrors)
{
    // A file's bytes come back whole, embedded NULs included; a missing file or a folder is an error.
    auto folder = std::filesystem::temp_directory_path() / ("DataTests-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto path = (folder / "bytes").string();
    std::string content("a\0b\xff", 4);
    std::ofstream(path, std::ios::binary) << content;

    auto read = Data::contentsOfFile(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toString(), content);
    EXPECT_EQ(Data::contentsOfFile((folder / "missing").string()).error(), std::errc::no_such_file_or_directory);
    EXPECT_EQ(Data::contentsOfFile(folder.string()).error(), std::errc::is_a_directory);
    std::filesystem::remove_all(folder);
}

TEST(DataTests, ComparesBytes)
{
    // Equality compares the bytes, and appending text adds exactly its bytes.
    auto data = Data::fromString("ab");
    data.append(std::string_view("c"));
    EXPECT_EQ(data, Data::fromString("abc"));
    EXPECT_NE(data, Data::fromString("abd"));
    EXPECT_EQ(Data(), Data::fromString(""));
}
