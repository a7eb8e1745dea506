#include "Platform/Foundation/UserDefaults.hpp"

#include "Platform/FileSystem/TestSupport/PowerCutMount.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

using namespace Platform;
using Platform::Testing::PowerCutMount;
using Platform::Testing::TemporaryDirectory;

namespace {

class UserDefaultsPowerCutTests : public ::testing::TestWithParam<PowerCutMount::Model> {};

std::string modelName(const ::testing::TestParamInfo<PowerCutMount::Model>& info)
{
    return info.param == PowerCutMount::Model::ext4 ? "FolderEntriesAtOnce" : "FolderEntriesOnFolderSync";
}

} // namespace

TEST_P(UserDefaultsPowerCutTests, WhatSetStoredIsWholeAfterAPowerCut)
{
    // The power goes right after `set` returned: the settings file is the new one,
    // whole. Unsynced before its rename it would come back empty (set aside as
    // corrupt, every setting lost); without the folder's sync after the rename
    // the old file (or none) would come back where folder entries wait for it.
    TemporaryDirectory base;
    auto mount = PowerCutMount::mount(base.path(), GetParam());
    if (!mount && mount.error().unavailable)
        GTEST_SKIP() << mount.error().message;
    ASSERT_TRUE(mount) << mount.error().message;
    // The suite's own folder is new: it must reach the disk with the file.
    auto folder = mount->durableFolder("config") / "de.orvella";
    {
        auto defaults = UserDefaults::open(folder).value();
        ASSERT_TRUE(defaults->set("Name", "vorher"));
        ASSERT_TRUE(defaults->set("Count", 7));
        ASSERT_TRUE(defaults->set("Name", "nachher"));
    }
    ASSERT_TRUE(mount->cutAndRemount());

    auto defaults = UserDefaults::open(folder).value();
    EXPECT_EQ(defaults->string("Name"), "nachher");
    EXPECT_EQ(defaults->integer("Count"), 7);
    EXPECT_FALSE(std::filesystem::exists(folder / "defaults.json.corrupt"));
}

INSTANTIATE_TEST_SUITE_P(BothModels, UserDefaultsPowerCutTests,
    ::testing::Values(PowerCutMount::Model::ext4, PowerCutMount::Model::strict), modelName);
