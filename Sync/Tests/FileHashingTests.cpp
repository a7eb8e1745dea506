#include "Sync/Model/FileHashing.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Sync;

TEST(FileHashingTests, DataAndText)
{
    // Bytes and valid UTF-8 text hash to 40 lower-case digits; invalid UTF-8 text has no hash.
    EXPECT_EQ(QVStringByApplyingSha1ToData(Platform::Data::fromString("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hashed(Platform::Data()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hashed(std::string_view("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_FALSE(hashed(std::string_view("\xff")));
}

TEST(FileHashingTests, Files)
{
    // A file hashes like its content, an empty file like empty input; missing files and folders have none.
    auto folder = std::filesystem::temp_directory_path() / ("FileHashingTests-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "abc") << "abc";
    std::ofstream(folder / "empty").close();

    EXPECT_EQ(hashed(Platform::URL::fileURL((folder / "abc").string())), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hashed(Platform::URL::fileURL((folder / "empty").string())), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_FALSE(hashed(Platform::URL::fileURL((folder / "missing").string())));
    EXPECT_FALSE(hashed(Platform::URL::fileURL(folder.string())));
    EXPECT_FALSE(hashed(*Platform::URL::create("https://example.org/abc")));
    std::filesystem::remove_all(folder);
}
