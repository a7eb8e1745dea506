// Machine facts read from the firmware's product name and the os-release file.

#include "Quarlink/Identity/SystemInfo.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace Quarlink;

namespace {

class SystemInfoTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "QuarlinkSystemInfoXXXXXX").string();
        m_folder = ::mkdtemp(pattern.data());
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string write(const std::string& name, const std::string& contents)
    {
        auto path = (m_folder / name).string();
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }

    std::filesystem::path m_folder;
};

} // namespace

TEST_F(SystemInfoTest, machineModelWithoutControlCharacters)
{
    // The product name loses its newline and any control characters; bad UTF-8 is replaced, not passed on.
    EXPECT_EQ(SystemInfo::machineModel(write("product", "ThinkPad X1 Carbon\n")), "ThinkPad X1 Carbon");
    EXPECT_EQ(SystemInfo::machineModel(write("evil", "Box\r\nX-Injected: 1\t\x7F")), "BoxX-Injected: 1");
    EXPECT_EQ(SystemInfo::machineModel(write("latin1", "Ger\xE4t\n")), "Ger\xEF\xBF\xBDt");
    EXPECT_EQ(SystemInfo::machineModel((m_folder / "missing").string()), "");
}

TEST_F(SystemInfoTest, systemVersionFromOsRelease)
{
    // VERSION_ID is read quoted or bare; without it, or without the file, the version is empty.
    EXPECT_EQ(SystemInfo::systemVersion(write("quoted", "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nVERSION=\"12 (bookworm)\"\n")), "12");
    EXPECT_EQ(SystemInfo::systemVersion(write("bare", "ID=fedora\nVERSION_ID=39\n")), "39");
    EXPECT_EQ(SystemInfo::systemVersion(write("single", "VERSION_ID='22.04'\n")), "22.04");
    EXPECT_EQ(SystemInfo::systemVersion(write("rolling", "NAME=\"Arch Linux\"\nBUILD_ID=rolling\n")), "");
    EXPECT_EQ(SystemInfo::systemVersion((m_folder / "missing").string()), "");
}
