#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Platform/Database/Database.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace Sync;
using namespace Sync::Testing;

namespace {

constexpr int killPoints = 20;

// What a driver process finds when it starts: the server's tree and the cloud folder's.
struct Scenario {
    std::function<void(InMemorySyncServer&)> server;
    std::function<void(TestCloud&)> disk;
};

Scenario firstSyncDown()
{
    return { [](InMemorySyncServer& server) {
                for (int folder = 0; folder < 3; ++folder) {
                    for (int file = 0; file < 4; ++file) {
                        const auto name = std::to_string(folder) + "-" + std::to_string(file);
                        server.addFile("/F" + std::to_string(folder) + "/Sub/" + name + ".txt", "content " + name);
                    }
                }
                server.addFile("/top.txt", "top");
                server.addFolder("/Empty/");
            },
        [](TestCloud&) {} };
}

Scenario uploadRun()
{
    return { [](InMemorySyncServer& server) { server.addFile("/Existing/old.txt", "old"); },
        [](TestCloud& cloud) {
            for (int folder = 0; folder < 2; ++folder) {
                for (int file = 0; file < 4; ++file) {
                    const auto name = std::to_string(folder) + "-" + std::to_string(file);
                    cloud.writeFile("/U" + std::to_string(folder) + "/" + name + ".txt", "upload " + name);
                }
            }
            cloud.writeFile("/Existing/new.txt", "new");
            cloud.makeFolder("/Empty here");
        } };
}

// A new directory holding the scenario's server state and cloud folder.
std::string prepare(const Scenario& scenario)
{
    TestCloud cloud;
    cloud.keepDirectory();
    scenario.server(*cloud.server);
    cloud.server->persistTo(cloud.directory() + "/server.json");
    scenario.disk(cloud);
    return cloud.directory();
}

struct DriverOutcome {
    bool killed = false;
    int exitCode = -1;
    std::string output;
};

// Runs the driver over `directory`, to be killed at `step` (0: never),
// counting only the steps named `counted` when given.
DriverOutcome runDriver(const std::string& directory, long step, const std::string& counted = "")
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const auto stepText = std::to_string(step);
    pid_t child = ::fork();
    if (child == 0) {
        // The driver's exit status must say how its run ended. What it may
        // leak at exit (the crypto library keeps per-thread state of the
        // engine's queue threads) is checked in this process, which runs the
        // same engine with leak detection.
        ::setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        if (counted.empty())
            ::execl(SYNC_CRASH_DRIVER, SYNC_CRASH_DRIVER, directory.c_str(), stepText.c_str(), nullptr);
        else
            ::execl(SYNC_CRASH_DRIVER, SYNC_CRASH_DRIVER, directory.c_str(), stepText.c_str(), counted.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    DriverOutcome outcome;
    char buffer[256];
    for (ssize_t count; (count = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        outcome.output.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// One run in this process over what the killed driver left must bring
// everything in step, leaving no partial download and a sound database.
void expectCompletingRun(const std::string& directory, long step)
{
    SCOPED_TRACE("killed at step " + std::to_string(step));
    auto server = InMemorySyncServer::load(directory + "/server.json");
    ASSERT_TRUE(server);
    TestCloud cloud(directory, server);
    const auto serverBefore = server->paths();

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    expectInStep(cloud);
    {
        auto database = Platform::Database::open(Sync::cloudDatabaseConfiguration(directory + "/Cloud.db"));
        ASSERT_TRUE(database) << database.error().description();
        EXPECT_EQ(database->integrityCheck(), "ok");
    }
    // The engine only ever adds what the disk has: the server lost nothing,
    // and no partial download went anywhere.
    for (const auto& path : serverBefore) {
        EXPECT_TRUE(server->idAt(path)) << path;
    }
    for (const auto& path : server->paths()) {
        EXPECT_EQ(path.find(FileSystemFileStore::stagedDownloadPrefix), std::string::npos) << path;
    }
}

void killAtTwentyPointsThenComplete(const Scenario& scenario)
{
    std::string dryRun = prepare(scenario);
    auto complete = runDriver(dryRun, 0);
    {
        TestCloud cleanup(dryRun, std::make_shared<InMemorySyncServer>());
    }
    ASSERT_EQ(complete.exitCode, 0) << complete.output;
    const long steps = std::strtol(complete.output.c_str(), nullptr, 10);
    ASSERT_GE(steps, killPoints);

    for (int point = 0; point < killPoints; ++point) {
        const long step = 1 + point * (steps - 1) / (killPoints - 1);
        const auto directory = prepare(scenario);
        auto outcome = runDriver(directory, step);
        EXPECT_TRUE(outcome.killed) << "step " << step << ": " << outcome.output;
        expectCompletingRun(directory, step);
    }
}

} // namespace

TEST(CrashRecovery, AFirstSyncDownKilledAtAnyPointCompletesInTheNextRun)
{
    killAtTwentyPointsThenComplete(firstSyncDown());
}

TEST(CrashRecovery, AnUploadRunKilledAtAnyPointCompletesInTheNextRun)
{
    killAtTwentyPointsThenComplete(uploadRun());
}

TEST(CrashRecovery, UploadsAnsweredButNotRecordedWhenKilledAreUpdatedNotUploadedBeside)
{
    // Killed once the server kept four uploads (three of them sent ahead of
    // their turn) and before any answer was recorded; three of the files
    // are rewritten before the next run. That run updates the server's items
    // with the new content and takes the fourth as it is: no copy goes up
    // beside them, though the server keeps one under a free name ("a (1).bin")
    // rather than refuse an upload under a taken name; a run that cannot list
    // the server first sends nothing.
    const std::vector<std::string> names { "/a.bin", "/b.bin", "/c.bin", "/d.bin", "/e.bin" };
    Scenario fiveUploads { [](InMemorySyncServer&) {},
        [&](TestCloud& cloud) {
            for (const auto& name : names)
                cloud.writeFile(name, "first " + name);
        } };
    const auto directory = prepare(fiveUploads);
    auto outcome = runDriver(directory, 4, "server.stored");
    ASSERT_TRUE(outcome.killed) << outcome.output;
    auto server = InMemorySyncServer::load(directory + "/server.json");
    ASSERT_TRUE(server);
    ASSERT_EQ(server->paths().size(), 4u);
    std::map<std::string, std::int64_t> ids;
    for (const auto& path : server->paths())
        ids[path] = *server->idAt(path);

    server->setUploadsBesideTakenNames(true);
    TestCloud cloud(directory, server);
    EXPECT_TRUE(cloud.storedPaths().empty());
    int rewritten = 0;
    for (const auto& [path, id] : ids) {
        if (++rewritten <= 3)
            cloud.writeFile(path, "second " + path);
    }
    // Until the server can be listed, nothing goes up.
    cloud.server->failNext(InMemorySyncServer::Call::remoteFiles);
    auto unlisted = cloud.sync();
    ASSERT_TRUE(unlisted.completed);
    EXPECT_EQ(server->mutationCount(), 0);
    EXPECT_EQ(server->paths().size(), 4u);

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(server->paths(), names);
    for (const auto& [path, id] : ids)
        EXPECT_EQ(server->idAt(path), id) << path;
    rewritten = 0;
    for (const auto& [path, id] : ids)
        EXPECT_EQ(server->contentAt(path), (++rewritten <= 3 ? "second " : "first ") + path);
    expectInStep(cloud);
    expectIdle(cloud);
}
