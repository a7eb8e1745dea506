// SHA-1 digest texts of bytes, texts and files.

#include "Platform/Foundation/Hashing.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace Platform;

namespace {

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "FoundationHashingXXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { std::filesystem::remove_all(m_path); }
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

bool isDigestText(const std::string& text)
{
    return text.size() == 40 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

TEST(Hashing, knownVectors)
{
    // The digest text matches the FIPS 180 test vectors, including the empty message.
    EXPECT_EQ(hashed(Platform::Data()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hashed(Platform::Data::fromString("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hashed(std::string_view("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
        "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(QVStringByApplyingSha1ToData(Platform::Data::fromString("abc").bytes()), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_TRUE(isDigestText(hashed(Platform::Data(std::vector<std::uint8_t>(100'000, 0xFF)))));
}

TEST(Hashing, textMustBeUTF8)
{
    // Text that is not UTF-8 has no digest; "ä" hashes its two UTF-8 bytes.
    EXPECT_FALSE(hashed(std::string_view("\xFF")).has_value());
    EXPECT_EQ(hashed(std::string_view("ä")), hashed(Platform::Data::fromString("\xC3\xA4")));
}

TEST(Hashing, filesByURL)
{
    // A missing file has no digest, an empty file the digest of no bytes, a file that of its contents.
    TemporaryFolder folder;
    auto missing = Platform::URL::fileURL((folder.path() / "missing").string());
    EXPECT_FALSE(hashed(missing).has_value());

    auto emptyPath = folder.path() / "empty";
    std::ofstream(emptyPath).close();
    EXPECT_EQ(hashed(Platform::URL::fileURL(emptyPath.string())), "da39a3ee5e6b4b0d3255bfef95601890afd80709");

    auto filePath = folder.path() / "a b.txt";
    std::ofstream(filePath) << "abc";
    EXPECT_EQ(hashed(Platform::URL::fileURL(filePath.string())), "a9993e364706816aba3e25717850c26c9cd0d89d");

    EXPECT_FALSE(hashed(Platform::URL::fileURL(folder.path().string(), Platform::URL::IsDirectory::Yes)).has_value());
    EXPECT_FALSE(hashed(*Platform::URL::create("http://127.0.0.1/abc")).has_value());
}
