#include "Orvella/Extension/ExtensionManager.hpp"

#include "Platform/Desktop/Tests/StandInExtension.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

#include <gtest/gtest.h>

#include <csignal>

using namespace Orvella;
using Platform::Testing::TemporaryDirectory;
using Platform::Testing::waitUntil;

namespace {

// Records every verb with its argument; `ignore` fails on demand.
class RecordingRegistry final : public Platform::ExtensionRegistry {
public:
    std::vector<std::string> calls;
    bool ignoreSucceeds = true;

    bool add(const std::string& identifier, const std::filesystem::path& executable) override
    {
        calls.push_back("add " + identifier + " " + executable.string());
        return true;
    }
    bool use(const std::string& identifier) override
    {
        calls.push_back("use " + identifier);
        return true;
    }
    bool ignore(const std::string& identifier) override
    {
        calls.push_back("ignore " + identifier);
        return ignoreSucceeds;
    }
    bool remove(const std::filesystem::path& executable) override
    {
        calls.push_back("remove " + executable.string());
        return true;
    }
};

constexpr auto path = "/opt/App \"1\" $HOME `x` \\y/glimmerd";

struct Fixture {
    std::shared_ptr<RecordingRegistry> registry = std::make_shared<RecordingRegistry>();
    std::shared_ptr<Reactive::TestScheduler> scheduler = std::make_shared<Reactive::TestScheduler>();
    ExtensionManager manager { { .bundleIdentifier = "de.orvella.desktop.Glimmerd", .extensionURL = path, .registry = registry, .mainScheduler = scheduler } };
};

using Platform::Testing::isProcessAlive;

} // namespace

TEST(ExtensionManagerTests, RegisteringAddsAtOnceAndEnablesTwoSecondsLater)
{
    // The add verb runs at once with the path intact (blanks, quotes, "$", back quotes, backslashes), the enable exactly 2.0 s later.
    Fixture fixture;
    fixture.manager.registerExtension();
    EXPECT_EQ(fixture.registry->calls, (std::vector<std::string> { std::string("add de.orvella.desktop.Glimmerd ") + path }));
    fixture.scheduler->advance(std::chrono::milliseconds(1999));
    EXPECT_EQ(fixture.registry->calls.size(), 1u);
    fixture.scheduler->advance(std::chrono::milliseconds(1));
    EXPECT_EQ(fixture.registry->calls.back(), "use de.orvella.desktop.Glimmerd");
    fixture.scheduler->run();
    EXPECT_EQ(fixture.registry->calls.size(), 2u);
}

TEST(ExtensionManagerTests, UnregisteringWithinTheDelayCancelsTheEnable)
{
    // A logout within the 2.0 s: ignore, then remove, and the pending enable never runs.
    Fixture fixture;
    fixture.manager.registerExtension();
    fixture.scheduler->advance(std::chrono::milliseconds(500));
    fixture.manager.unregisterExtension();
    fixture.scheduler->advance(std::chrono::seconds(10));
    EXPECT_EQ(fixture.registry->calls, (std::vector<std::string> { std::string("add de.orvella.desktop.Glimmerd ") + path,
                                           "ignore de.orvella.desktop.Glimmerd", std::string("remove ") + path }));
    EXPECT_EQ(fixture.scheduler->pendingCount(), 0u);
}

TEST(ExtensionManagerTests, RemoveFollowsOnlyASuccessfulIgnore)
{
    // When switching off fails, the registration is left alone.
    Fixture fixture;
    fixture.registry->ignoreSucceeds = false;
    fixture.manager.unregisterExtension();
    EXPECT_EQ(fixture.registry->calls, (std::vector<std::string> { "ignore de.orvella.desktop.Glimmerd" }));
}

TEST(ExtensionManagerTests, WithTheRealRegistryTheStandInIsStartedEndedAndKilled)
{
    // use starts the stand-in extension, ignore ends it, killRunningExtensions ends the one holding the lock of its
    // group directory; the same program for another group directory, one holding no lock and another program live on.
    TemporaryDirectory folder;
    auto extension = Platform::Testing::installStandInExtension(folder.path(), "App $x \"y\"/glimmerd");
    auto bystanderPath = Platform::Testing::installStandInExtension(folder.path(), "glimmerd-other");
    std::filesystem::create_directories(folder / "group");
    std::filesystem::create_directories(folder / "other group");
    auto registry = std::make_shared<Platform::FileExtensionRegistry>(folder.path());
    auto scheduler = std::make_shared<Reactive::TestScheduler>();
    ExtensionManager manager({ .bundleIdentifier = "de.orvella.desktop.Glimmerd", .extensionURL = extension, .registry = registry,
        .mainScheduler = scheduler, .groupDirectory = folder / "group" });

    auto bystander = Platform::ExtensionProcesses::spawnDetached(bystanderPath).value();
    manager.registerExtension();
    EXPECT_TRUE(Platform::ExtensionProcesses::running(extension).empty());
    scheduler->advance(ExtensionManager::enableDelay);
    ASSERT_TRUE(waitUntil([&] { return Platform::ExtensionProcesses::running(extension).size() == 1; }));
    auto started = Platform::ExtensionProcesses::running(extension).front();
    manager.unregisterExtension();
    EXPECT_TRUE(waitUntil([&] { return !isProcessAlive(started); }));
    EXPECT_TRUE(registry->registrations().empty());

    auto lockOf = [&](const std::string& group) { return folder / (group + "/glimmerd.lock"); };
    auto own = Platform::ExtensionProcesses::spawnDetached(extension, { lockOf("group") }).value();
    auto otherGroup = Platform::ExtensionProcesses::spawnDetached(extension, { lockOf("other group") }).value();
    auto unlocked = Platform::ExtensionProcesses::spawnDetached(extension).value();
    ASSERT_TRUE(waitUntil([&] {
        return Platform::ExtensionProcesses::running(extension).size() == 3
            && Platform::ExtensionProcesses::lockHolders(lockOf("group")) == std::vector<pid_t> { own }
            && Platform::ExtensionProcesses::lockHolders(lockOf("other group")) == std::vector<pid_t> { otherGroup };
    }));
    manager.killRunningExtensions();
    EXPECT_TRUE(waitUntil([&] { return !isProcessAlive(own); }));
    EXPECT_TRUE(isProcessAlive(otherGroup));
    EXPECT_TRUE(isProcessAlive(unlocked));
    EXPECT_TRUE(isProcessAlive(bystander));
    for (auto pid : { otherGroup, unlocked, bystander })
        ::kill(pid, SIGKILL);
}

TEST(ExtensionManagerTests, TheExtensionIsTheGlimmerdBesideTheRunningProgram)
{
    // Without a path of its own the manager uses "glimmerd" in the folder of this process's executable.
    auto registry = std::make_shared<RecordingRegistry>();
    ExtensionManager manager({ .bundleIdentifier = "id", .registry = registry, .mainScheduler = std::make_shared<Reactive::TestScheduler>() });
    EXPECT_EQ(manager.extensionURL(), std::filesystem::read_symlink("/proc/self/exe").parent_path() / "glimmerd");
    manager.registerExtension();
    EXPECT_EQ(registry->calls.front(), "add id " + manager.extensionURL().string());
}
