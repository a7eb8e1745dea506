#include "Platform/Foundation/Digest.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Platform;

TEST(DigestTests, MatchesPublishedVectors)
{
    // SHA-1 and SHA-256 of "abc" and of empty input match FIPS 180 and print as lower-case hex.
    EXPECT_EQ(sha1Hex(std::string_view("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha1Hex(std::string_view("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(sha256Hex(std::string_view("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(DigestTests, IncrementalEqualsOneCall)
{
    // Feeding the bytes in pieces gives the same digest as one call.
    Digest digest(Digest::Algorithm::SHA1);
    digest.update(std::string_view("a"));
    digest.update(std::string_view(""));
    digest.update(std::string_view("bc"));
    EXPECT_EQ(hexString(std::move(digest).finish()), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(DigestTests, HashesFilesInBlocks)
{
    // A file larger than one read block hashes like its content in memory; missing files and folders fail.
    auto folder = std::filesystem::temp_directory_path() / ("DigestTests-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::string content(700 * 1024 + 13, '\0');
    for (std::size_t index = 0; index < content.size(); ++index)
        content[index] = static_cast<char>(index * 7);
    auto path = (folder / "big").string();
    std::ofstream(path, std::ios::binary) << content;
    auto empty = (folder / "empty").string();
    std::ofstream(empty).close();

    auto hashed = Digest::ofFile(Digest::Algorithm::SHA1, path);
    ASSERT_TRUE(hashed);
    EXPECT_EQ(hexString(*hashed), sha1Hex(std::string_view(content)));
    EXPECT_EQ(hexString(*Digest::ofFile(Digest::Algorithm::SHA256, empty)), sha256Hex(std::string_view("")));
    EXPECT_FALSE(Digest::ofFile(Digest::Algorithm::SHA1, (folder / "missing").string()));
    EXPECT_EQ(Digest::ofFile(Digest::Algorithm::SHA1, folder.string()).error(), std::errc::is_a_directory);
    std::filesystem::remove_all(folder);
}

TEST(DigestTests, HashesFilesOfEverySizeToTheirEnd)
{
    // Whatever block a file's size picks, the whole content is hashed: sizes
    // around each block's edge, and a file whose size says nothing of its
    // content (a /proc file reports none).
    auto folder = std::filesystem::temp_directory_path() / ("DigestTests-sizes-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    for (std::size_t size : { std::size_t { 1 }, std::size_t { 16 * 1024 - 1 }, std::size_t { 16 * 1024 },
             std::size_t { 16 * 1024 + 1 }, std::size_t { 256 * 1024 - 1 }, std::size_t { 256 * 1024 },
             std::size_t { 256 * 1024 + 1 }, std::size_t { 3 * 256 * 1024 + 5 } }) {
        std::string content(size, '\0');
        for (std::size_t index = 0; index < size; ++index)
            content[index] = static_cast<char>(index * 13 + size);
        auto path = (folder / std::to_string(size)).string();
        std::ofstream(path, std::ios::binary) << content;
        auto hashed = Digest::ofFile(Digest::Algorithm::SHA1, path);
        ASSERT_TRUE(hashed) << size;
        EXPECT_EQ(hexString(*hashed), sha1Hex(std::string_view(content))) << size;
    }
    std::filesystem::remove_all(folder);

    std::ifstream stream("/proc/self/cmdline", std::ios::binary);
    std::string cmdline((std::istreambuf_iterator<char>(stream)), {});
    ASSERT_FALSE(cmdline.empty());
    ASSERT_EQ(std::filesystem::file_size("/proc/self/cmdline"), 0U);
    auto hashed = Digest::ofFile(Digest::Algorithm::SHA1, "/proc/self/cmdline");
    ASSERT_TRUE(hashed);
    EXPECT_EQ(hexString(*hashed), sha1Hex(std::string_view(cmdline)));
}
