// The API client's transfers against the local service on loopback: the same
// work as the URL-session and curl runs of NetworkBenchmarks (1,000 small
// requests, one 1 GiB download), here through `URLSessionAPIClient`, so the
// cost of its request queue, operations and delegate queue shows beside them.
// The service runs as the `localcloud` program in a child process, so the
// peak memory of this process is the client's own.
//
// The 1 GiB download runs only when asked for, e.g.
//   APIClientBenchmarks --benchmark_filter=Download1GiB

#include "NoCredentialStore.hpp"
#include "PeakMemory.hpp"
#include "StartAll.hpp"
#include "Quarlink/Client/URLSessionAPIClient.hpp"
#include "Quarlink/Environment/Environment.hpp"
#include "LocalCloud/TestSupport/LocalCloudProcess.hpp"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>


namespace {

using namespace std::chrono_literals;

constexpr int requestCount = 1000;
constexpr std::int64_t largeSize = std::int64_t(1) << 30;

// The local service in a child process over a private data folder, and a client for it.
class Service {
public:
    Service()
    {
        m_folder = std::filesystem::temp_directory_path() / ("api-client-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder / "data" / "content");
        std::filesystem::create_directories(m_folder / "downloads");
        // A sparse file: the service reads zeros without touching the disk.
        std::filesystem::path large = m_folder / "data" / "content" / "1";
        { std::ofstream create(large); }
        std::filesystem::resize_file(large, largeSize);

        m_service = std::make_unique<LocalCloud::Testing::LocalCloudProcess>(LOCALCLOUD_PROGRAM, m_folder / "data",
            std::vector<std::string> { "--test-controls" });
        static_cast<void>(m_service->waitUntilAccepting(10s));

        Platform::URLSessionConfiguration configuration;
        configuration.temporaryDirectory = m_folder / "downloads";
        auto endpoint = std::make_shared<Quarlink::Environment>(
            Quarlink::Environment::custom(*Platform::URL::create(url(""))));
        auto client = Quarlink::URLSessionAPIClient::create(configuration, std::make_shared<Bench::NoCredentialStore>(),
            std::make_shared<Quarlink::InMemoryEnvironmentStore>(endpoint));
        if (client)
            m_client = *client;
    }
    ~Service()
    {
        m_client.reset();
        m_service->stop(SIGTERM);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::string url(const std::string& path) const
    {
        return m_service->baseURL() + path;
    }
    const std::shared_ptr<Quarlink::URLSessionAPIClient>& client() const { return m_client; }

private:
    std::filesystem::path m_folder;
    std::unique_ptr<LocalCloud::Testing::LocalCloudProcess> m_service;
    std::shared_ptr<Quarlink::URLSessionAPIClient> m_client;
};

Service& service()
{
    static Service instance;
    return instance;
}

// All requests are started at once; the client's queue runs two at a time.
void APIClient_SmallRequests(benchmark::State& state)
{
    auto client = service().client();
    if (!client) {
        state.SkipWithError("no client");
        return;
    }
    const Platform::URLRequest request { .url = service().url("/status") };
    for (auto _ : state) {
        std::vector<Reactive::SignalProducer<Quarlink::DataResponse, Reactive::AnyError>> requests;
        for (int index = 0; index < requestCount; ++index)
            requests.push_back(client->dataProducer(request, Quarlink::QueuePriority::normal));
        if (Bench::startAllAndWait(requests) > 0)
            state.SkipWithError("requests failed");
    }
    state.counters["requests_per_second"] = benchmark::Counter(double(requestCount) * double(state.iterations()),
        benchmark::Counter::kIsRate);
    state.counters["peak_MiB"] = Bench::peakResidentMegabytes();
}

void APIClient_Download1GiB(benchmark::State& state)
{
    auto client = service().client();
    if (!client) {
        state.SkipWithError("no client");
        return;
    }
    const Platform::URLRequest request { .url = service().url("/debug/raw/1") };
    for (auto _ : state) {
        std::promise<bool> done;
        auto start = client->downloadProducer(request, Quarlink::QueuePriority::normal)
                         .startWithEvents([&](const Reactive::Event<Quarlink::DownloadResponse, Reactive::AnyError>& event) {
                             if (event.isValue()) {
                                 const auto& file = event.value().tempURL;
                                 done.set_value(file && std::filesystem::file_size(file->path()) == std::uintmax_t(largeSize));
                                 // The delivered file is ours to remove.
                                 if (file) {
                                     std::error_code ignored;
                                     std::filesystem::remove(file->path(), ignored);
                                 }
                             } else if (event.isFailed()) {
                                 done.set_value(false);
                             }
                         });
        if (!done.get_future().get())
            state.SkipWithError("download failed");
    }
    state.SetBytesProcessed(largeSize * state.iterations());
    state.counters["peak_MiB"] = Bench::peakResidentMegabytes();
}

BENCHMARK(APIClient_SmallRequests)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(APIClient_Download1GiB)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The 1 GiB case takes seconds and a gigabyte of disk; a run without a filter leaves it out.
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
