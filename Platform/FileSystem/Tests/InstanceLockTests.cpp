#include "Platform/FileSystem/InstanceLock.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Platform {
namespace {

TEST(InstanceLock, OnlyOneHolderAtATimeAndTheNextOnceItIsGone)
{
    Testing::TemporaryDirectory directory;
    const auto file = fs::path(directory.path()) / "instance.lock";
    auto first = InstanceLock::acquire(file);
    ASSERT_TRUE(first);
    auto second = InstanceLock::acquire(file);
    ASSERT_FALSE(second);
    EXPECT_TRUE(InstanceLock::isHeld(second.error()));
    { auto released = std::move(*first); }
    EXPECT_TRUE(InstanceLock::acquire(file));
}

TEST(InstanceLock, TheLockFileIsTheUsersAloneAndNeverFollowsALink)
{
    Testing::TemporaryDirectory directory;
    const auto file = fs::path(directory.path()) / "instance.lock";
    ASSERT_TRUE(InstanceLock::acquire(file));
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    // A link planted where the lock file goes is no lock: another user could aim it anywhere.
    const auto planted = fs::path(directory.path()) / "planted.lock";
    fs::create_symlink(fs::path(directory.path()) / "elsewhere", planted);
    auto refused = InstanceLock::acquire(planted);
    ASSERT_FALSE(refused);
    EXPECT_FALSE(InstanceLock::isHeld(refused.error()));
    EXPECT_FALSE(fs::exists(fs::path(directory.path()) / "elsewhere"));
}

TEST(InstanceLock, AFolderThatCannotBeWrittenIsAnErrorNotARunningInstance)
{
    Testing::TemporaryDirectory directory;
    auto refused = InstanceLock::acquire(fs::path(directory.path()) / "missing" / "instance.lock");
    ASSERT_FALSE(refused);
    EXPECT_FALSE(InstanceLock::isHeld(refused.error()));
}

} // namespace
} // namespace Platform
