// The program `orvella` as a process: one instance per user, and an orderly
// end when the launch cannot get its services.

#include "Shared/SharedConstants.hpp"
#include "Platform/Desktop/DistributedNotificationCenter.hpp"
#include "Platform/FileSystem/InstanceLock.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <fstream>
#include <sstream>

namespace Orvella {
namespace {

struct Run {
    int status = -1;
    bool exited = false;
    std::string output;
};

Run runOrvella(const std::string& home)
{
    const std::string log = home + "/orvella.log";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY HOME='" + home + "' XDG_DATA_HOME='" + home + "/share' XDG_CONFIG_HOME='"
        + home + "/config' XDG_CACHE_HOME='" + home + "/cache' QT_QPA_PLATFORM=offscreen '" + ORVELLA_PROGRAM + "' > '" + log + "' 2>&1";
    const int raw = std::system(command.c_str());
    Run run;
    run.exited = WIFEXITED(raw);
    run.status = WEXITSTATUS(raw);
    std::ifstream stream(log);
    std::stringstream text;
    text << stream.rdbuf();
    run.output = text.str();
    return run;
}

// The second instance asks the running one, on the channel between the
// processes that the running one listens on, to come to the front.
TEST(OrvellaProgram, ASecondInstanceAsksTheRunningOneToComeForwardAndEndsWithZero)
{
    Platform::Testing::TemporaryDirectory home;
    // The first instance's lock and channel, as a running `orvella` holds them.
    ::setenv("XDG_DATA_HOME", (home.path() + "/share").c_str(), 1);
    auto held = Platform::InstanceLock::acquire(SharedConstants::groupContainerPath() / "orvella.instance.lock");
    ASSERT_TRUE(held);
    auto center = Platform::DistributedNotificationCenter::open(SharedConstants::groupContainerPath() / "notifications");
    ASSERT_TRUE(center);
    std::atomic<int> requests { 0 };
    auto registration = (*center)->addObserver(SharedConstants::activateRunningApplication(),
        [&](const Platform::DistributedNotification&) { ++requests; });
    const auto run = runOrvella(home.path());
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    // The brand, not the program, is what the user knows.
    EXPECT_NE(run.output.find("brisanto cloud läuft bereits"), std::string::npos) << run.output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (requests.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(requests.load(), 1);
}

TEST(OrvellaProgram, ALaunchWithoutItsServicesEndsInOrderWithStatusOne)
{
    Platform::Testing::TemporaryDirectory home;
    // A file where the channel between the processes keeps its sockets: the channel cannot be opened.
    ::setenv("XDG_DATA_HOME", (home.path() + "/share").c_str(), 1);
    std::ofstream(SharedConstants::groupContainerPath() / "notifications") << "kein Ordner";
    const auto run = runOrvella(home.path());
    EXPECT_TRUE(run.exited) << "ended by a signal: " << run.output;
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("❗️ Start abgebrochen: Ein benötigter Dienst der Anwendung konnte nicht erstellt werden."), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Der Mitteilungskanal zwischen den Prozessen kann nicht geöffnet werden"), std::string::npos) << run.output;
}

TEST(OrvellaProgram, TheExtensionsOldFolderBecomesTheGroupDirectoryAtTheFirstLaunch)
{
    // The old folder is moved before anything makes the group directory. Its stray "notifications"
    // file then ends the launch early, so the test sees the moved folder without a running program.
    Platform::Testing::TemporaryDirectory home;
    ::setenv("XDG_DATA_HOME", (home.path() + "/share").c_str(), 1);
    const auto old = std::filesystem::path(home.path()) / "share" / (SharedConstants::applicationIdentifier() + ".extension");
    std::filesystem::create_directories(old);
    std::ofstream(old / "Cloud.realm") << "alt";
    std::ofstream(old / "notifications") << "kein Ordner";
    const auto run = runOrvella(home.path());
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_FALSE(std::filesystem::exists(old));
    std::ifstream moved(SharedConstants::groupContainerLocation() / "Cloud.realm");
    std::string content;
    moved >> content;
    EXPECT_EQ(content, "alt") << run.output;
}

} // namespace
} // namespace Orvella
