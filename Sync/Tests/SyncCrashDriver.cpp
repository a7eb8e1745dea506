// A whole engine over a directory an earlier process left, for the crash
// tests: runs one sync against the server state in <directory>/server.json
// (kept there after every change the server makes) and kills itself with
// SIGKILL at the given step (counted over the server's own steps, the
// engine's kill points and its sync events; 0 for none). Prints the number of steps it went
// through when the run ends, and on standard error a line for every error
// event ("error event: " and its description) and one for the number of
// calls the server was asked ("server calls: " and it).
//
// With a step name, only the steps of that name count ("server.stored": the
// server has kept an upload and is about to answer it).
//
//   SyncCrashDriver <directory> <step> [<step name>]

#include "Platform/Foundation/KillPoint.hpp"
#include "Sync/TestSupport/TestCloud.hpp"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>

using namespace Sync;
using namespace Sync::Testing;

namespace {

std::function<void(std::string_view)> stepAtKillPoint;

void killPointReached(const char* name)
{
    stepAtKillPoint(name);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: SyncCrashDriver <directory> <step> [<step name>]\n");
        return 2;
    }
    const std::string directory = argv[1];
    const long killAt = std::strtol(argv[2], nullptr, 10);
    auto server = InMemorySyncServer::load(directory + "/server.json");
    if (!server) {
        std::fprintf(stderr, "no server state in %s\n", directory.c_str());
        return 2;
    }
    server->persistTo(directory + "/server.json");
    const std::string counted = argc == 4 ? argv[3] : "";
    std::atomic<long> steps { 0 };
    auto step = [&steps, killAt, &counted](std::string_view name) {
        if (!counted.empty() && name != counted) {
            return;
        }
        if (++steps == killAt) {
            ::kill(::getpid(), SIGKILL);
        }
    };
    server->setStepHook(step);
    // The engine's own moments between a disk step and its record count too.
    stepAtKillPoint = step;
    Platform::killPointHandler.store(&killPointReached);

    TestCloud cloud(directory, server);
    // The directory belongs to the test that started the driver.
    cloud.keepDirectory();
    auto events = cloud.manager->syncEvents().observeValues([&step](const SyncEventPair& pair) {
        if (pair.first.isError())
            std::fprintf(stderr, "error event: %s\n", pair.first.error()->description().c_str());
        step(pair.first.description());
    });
    auto run = cloud.sync();
    events.dispose();
    int calls = 0;
    for (std::size_t call = 0; call < InMemorySyncServer::callKinds; ++call)
        calls += server->callCount(static_cast<InMemorySyncServer::Call>(call));
    std::fprintf(stderr, "server calls: %d\n", calls);
    std::printf("%ld\n", steps.load());
    return run.completed ? 0 : 1;
}
