// Only the client of the whole road, in a process of its own, as a
// command-line sync would run: ServiceSyncBenchmarks seeds the service and
// starts it, then starts this program over the same folder, so that the peak
// memory read here is the client's alone (no seeding, no benchmark harness,
// no baseline exchanges in it).
//
//   ServiceSyncClient <folder> <API base URL> <runs>
//
// Runs the engine `runs` times (the first sync, then idle runs) and prints
// one "name value" line per figure of the first run: seconds, requests,
// the process's peak resident memory up to its end (VmHWM), what was
// resident as it started (backed by files, anonymous), the CPU seconds;
// and the seconds of every further run. Exits with 1 when a run fails.
//
// SERVICE_SYNC_CLIENT_BEFORE_IDLE, a shell command run after the first sync
// and before the idle runs, with this process's id in SERVICE_SYNC_CLIENT_PID:
// to look at the idle runs alone, e.g. a profiler attached to the process
// ("perf record -p $SERVICE_SYNC_CLIENT_PID ... & sleep 1").

#include "PeakMemory.hpp"
#include "Platform/Foundation/ProcessMemory.hpp"
#include "RoadClient.hpp"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double timedRun(Bench::RoadClient& client, bool& failed)
{
    auto start = std::chrono::steady_clock::now();
    failed = !client.sync() || failed;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <folder> <API base URL> <runs>\n", argv[0]);
        return 2;
    }
    // As the application sets up its allocator.
    Platform::limitAllocatorArenas();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int status = 0;
    {
        Bench::RoadClient client(argv[1], argv[2]);
        if (!client.ready()) {
            std::fprintf(stderr, "the client did not log in\n");
            return 1;
        }
        const auto start = Bench::residentNow();
        const auto cpu = cpuSeconds();
        bool failed = false;
        const double seconds = timedRun(client, failed);
        std::printf("seconds %.6f\nrequests %zu\npeak_MiB %.3f\nstart_file_MiB %.3f\nstart_anon_MiB %.3f\ncpu_seconds %.6f\n",
            seconds, client.requests(), Bench::peakResidentMegabytes(), start.files, start.anonymous, cpuSeconds() - cpu);
        std::fflush(stdout);
        if (const char* command = std::getenv("SERVICE_SYNC_CLIENT_BEFORE_IDLE")) {
            ::setenv("SERVICE_SYNC_CLIENT_PID", std::to_string(::getpid()).c_str(), 1);
            if (std::system(command) != 0)
                std::fprintf(stderr, "the command before the idle runs failed\n");
        }
        for (int run = 1; run < std::atoi(argv[3]); ++run)
            std::printf("run%d_seconds %.6f\n", run + 1, timedRun(client, failed));
        std::fflush(stdout);
        status = failed ? 1 : 0;
    }
    curl_global_cleanup();
    return status;
}
