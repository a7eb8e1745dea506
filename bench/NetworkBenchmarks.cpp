// Transfers against the local service on loopback: the URL session of
// Platform/Network next to the curl command doing the same work. The service
// runs as the `localcloud` program in a child process, so the peak memory of
// this process is the client's own.
//
// The 1 GiB downloads run only when asked for, e.g.
//   NetworkBenchmarks --benchmark_filter=Download1GiB

#include "Platform/Network/URLSession.hpp"
#include "LocalCloud/TestSupport/LocalCloudProcess.hpp"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

constexpr int requestCount = 1000;
constexpr std::int64_t largeSize = std::int64_t(1) << 30;

double megabytes(long kilobytes)
{
    return static_cast<double>(kilobytes) / 1024.0;
}

double peakMegabytesOf(pid_t process);

double ownPeakMegabytes()
{
    return peakMegabytesOf(::getpid());
}

// High-water mark of a process's resident memory in MiB, from /proc; 0 when unreadable.
double peakMegabytesOf(pid_t process)
{
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:"))
            return megabytes(std::strtol(line.c_str() + 6, nullptr, 10));
    }
    return 0;
}

// Runs a program without a shell and returns its peak resident memory in MiB
// (negative on failure). The peak is sampled from /proc while it runs: the
// rusage of a spawned child also counts the parent's memory at the time of exec.
double runChild(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    double peak = 0;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        peak = std::max(peak, peakMegabytesOf(child));
        std::this_thread::sleep_for(2ms);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return peak;
}

// The local service in a child process over a private data folder.
class Service {
public:
    Service()
    {
        m_folder = std::filesystem::temp_directory_path() / ("network-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder / "data" / "content");
        std::filesystem::create_directories(m_folder / "downloads");
        // A sparse file: the service reads zeros without touching the disk.
        std::filesystem::path large = m_folder / "data" / "content" / "1";
        { std::ofstream create(large); }
        std::filesystem::resize_file(large, largeSize);

        m_service = std::make_unique<LocalCloud::Testing::LocalCloudProcess>(LOCALCLOUD_PROGRAM, m_folder / "data",
            std::vector<std::string> { "--test-controls" });
        static_cast<void>(m_service->waitUntilAccepting(10s));
    }
    ~Service()
    {
        m_service->stop(SIGTERM);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::string url(const std::string& path) const
    {
        return m_service->baseURL() + path;
    }
    std::filesystem::path downloads() const { return m_folder / "downloads"; }
    std::filesystem::path folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
    std::unique_ptr<LocalCloud::Testing::LocalCloudProcess> m_service;
};

Service& service()
{
    static Service instance;
    return instance;
}

std::shared_ptr<Platform::URLSession> makeSession()
{
    Platform::URLSessionConfiguration configuration;
    configuration.temporaryDirectory = service().downloads();
    return Platform::URLSession::create(configuration);
}

void URLSession_SmallRequests(benchmark::State& state)
{
    auto session = makeSession();
    const auto url = service().url("/status");
    for (auto _ : state) {
        for (int index = 0; index < requestCount; ++index) {
            std::promise<bool> done;
            auto task = session->dataTask({ .url = url },
                [&](Platform::URLSessionTask&, std::expected<Platform::DataTaskResponse, Platform::TransportError> result) {
                    done.set_value(result.has_value());
                });
            task->resume();
            if (!done.get_future().get())
                state.SkipWithError("request failed");
        }
    }
    state.counters["requests_per_second"] = benchmark::Counter(double(requestCount) * double(state.iterations()),
        benchmark::Counter::kIsRate);
    state.counters["peak_MiB"] = ownPeakMegabytes();
}

void Curl_SmallRequests(benchmark::State& state)
{
    // One curl run fetches all URLs from a config file over one kept-alive connection.
    auto config = service().folder() / "requests.curlrc";
    {
        std::ofstream stream(config);
        stream << "silent\nfail\ncompressed\n";
        for (int index = 0; index < requestCount; ++index)
            stream << "url = \"" << service().url("/status") << "\"\noutput = \"/dev/null\"\n";
    }
    double peak = 0;
    for (auto _ : state) {
        peak = std::max(peak, runChild({ "curl", "--config", config.string() }));
        if (peak < 0)
            state.SkipWithError("curl failed");
    }
    state.counters["requests_per_second"] = benchmark::Counter(double(requestCount) * double(state.iterations()),
        benchmark::Counter::kIsRate);
    state.counters["peak_MiB"] = peak;
}

void URLSession_Download1GiB(benchmark::State& state)
{
    auto session = makeSession();
    for (auto _ : state) {
        std::promise<bool> done;
        auto task = session->downloadTask({ .url = service().url("/debug/raw/1") },
            [&](Platform::URLSessionTask&, std::expected<Platform::DownloadTaskResponse, Platform::TransportError> result) {
                done.set_value(result && std::filesystem::file_size(result->location) == std::uintmax_t(largeSize));
            });
        task->resume();
        if (!done.get_future().get())
            state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(largeSize * state.iterations());
    state.counters["peak_MiB"] = ownPeakMegabytes();
}

void Curl_Download1GiB(benchmark::State& state)
{
    auto target = service().downloads() / "curl-download";
    double peak = 0;
    for (auto _ : state) {
        peak = std::max(peak, runChild({ "curl", "--silent", "--fail", "--output", target.string(),
                                  service().url("/debug/raw/1") }));
        if (peak < 0)
            state.SkipWithError("curl failed");
        std::filesystem::remove(target);
    }
    state.SetBytesProcessed(largeSize * state.iterations());
    state.counters["peak_MiB"] = peak;
}

BENCHMARK(URLSession_SmallRequests)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Curl_SmallRequests)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(URLSession_Download1GiB)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Curl_Download1GiB)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The 1 GiB cases take seconds and a gigabyte of disk; a run without a filter leaves them out.
    std::vector<char*> arguments(argv, argv + argc);
    std::string defaultFilter = "--benchmark_filter=-Download1GiB";
    bool filtered = false;
    for (int index = 1; index < argc; ++index)
        filtered = filtered || std::string_view(argv[index]).starts_with("--benchmark_filter");
    if (!filtered)
        arguments.push_back(defaultFilter.data());
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
