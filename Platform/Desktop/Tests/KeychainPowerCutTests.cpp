#include "Platform/Desktop/Keychain.hpp"

#include "Platform/FileSystem/TestSupport/PowerCutMount.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

using namespace Platform;
using Platform::Testing::PowerCutMount;
using Platform::Testing::TemporaryDirectory;

namespace {

class KeychainPowerCutTests : public ::testing::TestWithParam<PowerCutMount::Model> {};

std::string modelName(const ::testing::TestParamInfo<PowerCutMount::Model>& info)
{
    return info.param == PowerCutMount::Model::ext4 ? "FolderEntriesAtOnce" : "FolderEntriesOnFolderSync";
}

std::shared_ptr<Keychain> fileKeychain(const std::filesystem::path& folder, const TemporaryDirectory& base)
{
    // A bus that nobody serves: the keychain keeps its passwords in the private file.
    return Keychain::create({ .service = "de.orvella.tests", .fallbackFolder = folder,
        .secretServiceTimeout = std::chrono::milliseconds(200), .busAddress = "unix:path=" + base / "no-bus" });
}

} // namespace

TEST_P(KeychainPowerCutTests, AStoredPasswordIsThereAfterAPowerCut)
{
    // The power goes right after `set` returned: the private file holds every
    // password. One that came back empty would log the user out (no password,
    // no session), so the file is synced before its rename and its folder after it.
    TemporaryDirectory base;
    auto mount = PowerCutMount::mount(base.path(), GetParam());
    if (!mount && mount.error().unavailable)
        GTEST_SKIP() << mount.error().message;
    ASSERT_TRUE(mount) << mount.error().message;
    auto folder = mount->durableFolder("data") / "de.orvella.tests";
    {
        auto keychain = fileKeychain(folder, base);
        ASSERT_FALSE(keychain->usesSecretService());
        ASSERT_TRUE(keychain->set("Geheim-1", "anna@example.org"));
        ASSERT_TRUE(keychain->set("Geheim-2", "bert@example.org"));
    }
    ASSERT_TRUE(mount->cutAndRemount());

    auto keychain = fileKeychain(folder, base);
    EXPECT_EQ(keychain->get("anna@example.org").value(), "Geheim-1");
    EXPECT_EQ(keychain->get("bert@example.org").value(), "Geheim-2");
}

INSTANTIATE_TEST_SUITE_P(BothModels, KeychainPowerCutTests,
    ::testing::Values(PowerCutMount::Model::ext4, PowerCutMount::Model::strict), modelName);
