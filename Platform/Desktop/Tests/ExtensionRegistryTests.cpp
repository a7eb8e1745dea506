#include "Platform/Desktop/ExtensionRegistry.hpp"

#include "Platform/Desktop/Tests/StandInExtension.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

using namespace Platform;
using Platform::Testing::TemporaryDirectory;
using Platform::Testing::waitUntil;

namespace {

std::filesystem::path installStandIn(const TemporaryDirectory& folder, const std::string& name)
{
    return Testing::installStandInExtension(folder.path(), name);
}

bool isAlive(pid_t pid) { return Testing::isProcessAlive(pid); }

} // namespace

TEST(ExtensionRegistryTests, UseStartsTheExtensionIgnoreEndsItAndRemoveForgetsIt)
{
    // The registry file follows the verbs; use starts one process (not a second), ignore ends it, unknown identifiers fail.
    TemporaryDirectory folder;
    auto extension = installStandIn(folder, "App \"Dir\" $HOME \\x/glimmerd");
    FileExtensionRegistry registry(folder.path());
    EXPECT_FALSE(registry.use("de.example.Glimmerd"));
    ASSERT_TRUE(registry.add("de.example.Glimmerd", extension));
    ASSERT_TRUE(registry.registration("de.example.Glimmerd"));
    EXPECT_FALSE(registry.registration("de.example.Glimmerd")->enabled);
    EXPECT_EQ(registry.registration("de.example.Glimmerd")->executable, extension);

    ASSERT_TRUE(registry.use("de.example.Glimmerd"));
    EXPECT_TRUE(registry.registration("de.example.Glimmerd")->enabled);
    ASSERT_TRUE(waitUntil([&] { return ExtensionProcesses::running(extension).size() == 1; }));
    ASSERT_TRUE(registry.use("de.example.Glimmerd"));
    auto running = ExtensionProcesses::running(extension);
    ASSERT_EQ(running.size(), 1u);

    ASSERT_TRUE(registry.ignore("de.example.Glimmerd"));
    EXPECT_FALSE(registry.registration("de.example.Glimmerd")->enabled);
    EXPECT_TRUE(waitUntil([&] { return !isAlive(running[0]); }));
    ASSERT_TRUE(registry.remove(extension));
    EXPECT_TRUE(registry.registrations().empty());
    EXPECT_FALSE(registry.ignore("de.example.Glimmerd"));
}

TEST(ExtensionRegistryTests, SignalsReachOnlyProcessesOfThatExecutable)
{
    // SIGKILL through the process control ends the extension's processes; a process of another program at a similar path lives on.
    TemporaryDirectory folder;
    auto extension = installStandIn(folder, "one/glimmerd");
    auto other = installStandIn(folder, "two/glimmerd");
    auto first = ExtensionProcesses::spawnDetached(extension).value();
    auto second = ExtensionProcesses::spawnDetached(extension).value();
    auto bystander = ExtensionProcesses::spawnDetached(other).value();
    ASSERT_TRUE(waitUntil([&] { return ExtensionProcesses::running(extension).size() == 2 && ExtensionProcesses::running(other).size() == 1; }));
    EXPECT_EQ(ExtensionProcesses::running(extension), (std::vector<pid_t> { std::min(first, second), std::max(first, second) }));
    EXPECT_FALSE(ExtensionProcesses::signal(bystander, SIGKILL, extension));
    for (auto pid : ExtensionProcesses::running(extension))
        EXPECT_TRUE(ExtensionProcesses::signal(pid, SIGKILL, extension));
    EXPECT_TRUE(waitUntil([&] { return !isAlive(first) && !isAlive(second); }));
    EXPECT_TRUE(isAlive(bystander));
    EXPECT_TRUE(ExtensionProcesses::signal(bystander, SIGKILL, other));
}

TEST(ExtensionRegistryTests, AReplacedExecutableStillFindsItsOldProcesses)
{
    // After an update replaced the file, the process still running the old one is found under the path.
    TemporaryDirectory folder;
    auto extension = installStandIn(folder, "glimmerd");
    auto pid = ExtensionProcesses::spawnDetached(extension).value();
    ASSERT_TRUE(waitUntil([&] { return ExtensionProcesses::running(extension).size() == 1; }));
    std::filesystem::remove(extension);
    installStandIn(folder, "glimmerd");
    EXPECT_EQ(ExtensionProcesses::running(extension), std::vector<pid_t> { pid });
    EXPECT_TRUE(ExtensionProcesses::signal(pid, SIGKILL, extension));
}
