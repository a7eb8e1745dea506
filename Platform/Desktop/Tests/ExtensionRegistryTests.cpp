#include "Platform/Desktop/ExtensionRegistry.hpp"
#include "Platform/Desktop/ExtensionSupervisor.hpp"
#include "Platform/Foundation/Log.hpp"

#include "Platform/Desktop/Tests/StandInExtension.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

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

namespace {

std::vector<pid_t> holdersRunning(const std::filesystem::path& lock, const std::filesystem::path& executable)
{
    std::vector<pid_t> result;
    auto holders = ExtensionProcesses::lockHolders(lock);
    for (auto pid : ExtensionProcesses::running(executable))
        if (std::ranges::binary_search(holders, pid))
            result.push_back(pid);
    return result;
}

} // namespace

TEST(ExtensionRegistryTests, EachGroupDirectoryKeepsItsOwnExtensionRunningAndEndsOnlyThatOne)
{
    // Two sessions of one user (two group directories) each get their own
    // extension of the same program; switching one off ends only its own; one
    // killed by a signal comes back, with a log line of why it ended and its
    // error output in our log; switched off, it stays ended.
    TemporaryDirectory folder;
    auto extension = installStandIn(folder, "glimmerd");
    auto first = std::filesystem::path(folder.path()) / "first";
    auto second = std::filesystem::path(folder.path()) / "second";
    std::filesystem::create_directories(first);
    std::filesystem::create_directories(second);
    const auto firstLock = first / ExtensionProcesses::instanceLockFileName;
    const auto secondLock = second / ExtensionProcesses::instanceLockFileName;
    FileExtensionRegistry firstRegistry(first, { firstLock.string() });
    FileExtensionRegistry secondRegistry(second, { secondLock.string() });
    LogCapture log;
    ASSERT_TRUE(firstRegistry.add("de.example.Glimmerd", extension));
    ASSERT_TRUE(secondRegistry.add("de.example.Glimmerd", extension));

    ASSERT_TRUE(firstRegistry.use("de.example.Glimmerd"));
    ASSERT_TRUE(waitUntil([&] { return holdersRunning(firstLock, extension).size() == 1; }));
    const pid_t firstPid = holdersRunning(firstLock, extension).front();
    ASSERT_TRUE(secondRegistry.use("de.example.Glimmerd"));
    ASSERT_TRUE(waitUntil([&] { return holdersRunning(secondLock, extension).size() == 1; })) << "the second session got no extension";
    const pid_t secondPid = holdersRunning(secondLock, extension).front();
    EXPECT_TRUE(log.waitForLine("glimmerd: stand-in " + std::to_string(firstPid) + ": running", std::chrono::seconds(10)));

    // The second session's application switches its extension off.
    ASSERT_TRUE(secondRegistry.ignore("de.example.Glimmerd"));
    EXPECT_TRUE(waitUntil([&] { return !isAlive(secondPid); }));
    EXPECT_TRUE(log.waitForLine("(Prozess " + std::to_string(secondPid) + ") wurde durch das Signal 15 (SIGTERM) beendet.", std::chrono::seconds(10)));
    EXPECT_TRUE(isAlive(firstPid)) << "ending one session's extension ended the other's";

    // Killed, the first session's comes back.
    ASSERT_TRUE(ExtensionProcesses::signal(firstPid, SIGKILL, extension));
    ASSERT_TRUE(waitUntil(
        [&] {
            auto now = holdersRunning(firstLock, extension);
            return now.size() == 1 && now.front() != firstPid;
        },
        std::chrono::seconds(20)))
        << "a killed extension was not started again";
    EXPECT_TRUE(log.contains("(Prozess " + std::to_string(firstPid) + ") wurde durch das Signal 9 (SIGKILL) beendet; sie wird in 0,5 s neu gestartet."));
    const pid_t restarted = holdersRunning(firstLock, extension).front();
    EXPECT_TRUE(waitUntil([&] { return holdersRunning(secondLock, extension).empty(); })) << "the switched-off extension came back";

    ASSERT_TRUE(firstRegistry.ignore("de.example.Glimmerd"));
    EXPECT_TRUE(waitUntil([&] { return !isAlive(restarted); }));
    EXPECT_TRUE(log.waitForLine("(Prozess " + std::to_string(restarted) + ") ", std::chrono::seconds(10)));
    EXPECT_TRUE(holdersRunning(firstLock, extension).empty());
    EXPECT_TRUE(ExtensionProcesses::running(extension).empty());
}

TEST(ExtensionRegistryTests, AnExtensionThatKeepsEndingIsStartedAgainOnlySoOften)
{
    // Every start ends at once (another process holds the lock): three
    // restarts, each said in the log, then it is left ended, with a line why.
    TemporaryDirectory folder;
    auto extension = installStandIn(folder, "glimmerd");
    auto group = std::filesystem::path(folder.path()) / "group";
    std::filesystem::create_directories(group);
    const auto lock = group / ExtensionProcesses::instanceLockFileName;
    int held = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    LogCapture log;
    {
        ExtensionSupervisor supervisor(group, { .restartsInARow = 3, .firstDelay = std::chrono::milliseconds(20), .stableAfter = std::chrono::minutes(1) });
        ASSERT_TRUE(supervisor.want(extension, { lock.string() }, [] { return true; }));
        ASSERT_TRUE(log.waitForLine("Sie wird nicht mehr neu gestartet: sie endete 4-mal in Folge kurz nach dem Start.", std::chrono::seconds(20)));
        auto starts = std::ranges::count_if(log.lines(), [](const std::string& line) { return line.find("the lock is held elsewhere") != std::string::npos; });
        EXPECT_EQ(starts, 4);
        EXPECT_EQ(std::ranges::count_if(log.lines(), [](const std::string& line) { return line.find("endete mit Status 1; sie wird in") != std::string::npos; }), 3);
        EXPECT_FALSE(supervisor.watched());
    }
    ::close(held);
}
