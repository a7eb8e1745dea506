// The file operations through the whole client pipeline (request values,
// operation queue, transport, validation, envelope decoding, placement),
// against the local service in this process. The listing and the uploads
// take scripted answers (one listing body of 100,000 entries; announcements
// and transfers that need no account), held by the server in this process,
// so the peak memory includes that copy; the downloads use the service's own
// file routes with a logged-in user.
//
// The scripted JSON is sent as "application/octet-stream": the service's HTTP
// library compresses JSON bodies on its own (brotli or gzip, whatever the
// transport offers), which on loopback costs far more than the transfer; the
// client reads the body whatever its declared type.
//
// Each case also runs its baseline in the same process: the same HTTP
// exchanges through the client's raw transfer producers, without the
// pipeline, and reports the ratio.

#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "NoCredentialStore.hpp"
#include "PeakMemory.hpp"
#include "StartAll.hpp"
#include "Platform/Network/ReachabilityMonitor.hpp"
#include "Quarlink/Client/URLSessionAPIClient.hpp"
#include "Quarlink/Downloads/DownloadOperations.hpp"
#include "Quarlink/Environment/Environment.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/Session/SessionOperations.hpp"
#include "Quarlink/Uploads/UploadOperations.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr int listingCount = 100'000;
constexpr int transferCount = 1'000;

class Reachable final : public Platform::ReachabilityMonitor {
public:
    Platform::HostReachability status() const override { return Platform::HostReachability::reachable; }
    void start(Handler) override { }
    void stop() override { }
    bool isRunning() const override { return true; }
};

std::string fileObject(std::int64_t identifier)
{
    auto name = "Datei " + std::to_string(identifier) + ".txt";
    return R"({"id":)" + std::to_string(identifier) + R"(,"parent_file_id":1,"path":"/Ordner/)" + name + R"(","name":")" + name
        + R"(","has_private_shares":false,"has_public_shares":false,"is_share_allowed_private":true,"is_share_allowed_public":true,)"
        + R"("share_with":0,"created":1600000000,"modified":1600000001,"mime_type":"text/plain","file_size":4096,)"
        + R"("file_hash":"da39a3ee5e6b4b0d3255bfef95601890afd80709","deleted":null,"etag":"e)" + std::to_string(identifier) + R"("})";
}

double seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

class Bench {
public:
    Bench()
    {
        m_folder = std::filesystem::temp_directory_path() / ("file-endpoint-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder / "downloads");
        std::filesystem::create_directories(m_folder / "local");
        auto started = LocalCloud::LocalCloudServer::start({ .dataFolder = m_folder / "data", .testControls = true });
        if (!started)
            return;
        m_server = std::move(*started);
        Platform::URLSessionConfiguration configuration;
        configuration.temporaryDirectory = m_folder / "downloads";
        auto endpoints = std::make_shared<Quarlink::InMemoryEnvironmentStore>(
            std::make_shared<Quarlink::Environment>(Quarlink::Environment::custom(*Platform::URL::create(m_server->baseURL()))));
        auto client = Quarlink::URLSessionAPIClient::create(configuration, std::make_shared<::Bench::NoCredentialStore>(), endpoints,
            std::make_unique<Reachable>());
        if (client)
            m_client = *client;
    }
    ~Bench()
    {
        m_client.reset();
        m_server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::shared_ptr<Quarlink::APIClient> client() const { return m_client; }
    LocalCloud::LocalCloudServer& server() const { return *m_server; }
    const std::filesystem::path& folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
    std::unique_ptr<LocalCloud::LocalCloudServer> m_server;
    std::shared_ptr<Quarlink::URLSessionAPIClient> m_client;
};

Bench& bench()
{
    static Bench instance;
    return instance;
}

void RecursiveListing100k(benchmark::State& state)
{
    auto client = bench().client();
    std::string body = R"({"meta":{"quota":{"used":1,"total":2}},"data":[)";
    for (int index = 0; index < listingCount; ++index)
        body += (index ? "," : "") + fileObject(index + 2);
    body += "]}";
    Platform::URLRequest raw { .url = bench().server().baseURL() + "/files?depth=-1" };
    double pipelineSeconds = 0;
    double baselineSeconds = 0;
    double peak = 0;
    for (auto _ : state) {
        bench().server().script("GET", "/v2.0/files", { .body = body, .contentType = "application/octet-stream" }, 2);
        auto baselineStart = std::chrono::steady_clock::now();
        if (::Bench::startAllAndWait<Quarlink::DataResponse>({ client->dataProducer(raw, Quarlink::QueuePriority::normal) }) != 0)
            state.SkipWithError("raw listing failed");
        auto baselineEnd = std::chrono::steady_clock::now();

        ::Bench::resetPeakResident();
        std::size_t count = 0;
        auto start = std::chrono::steady_clock::now();
        auto listing = Quarlink::recursiveFiles(client).on({ .value = [&](const auto& package) { count = package.payload().size(); } });
        if (::Bench::startAllAndWait<Quarlink::CloudMetaPackage<std::vector<Quarlink::File>>>({ listing }) != 0 || count != listingCount)
            state.SkipWithError("listing failed");
        auto end = std::chrono::steady_clock::now();
        peak = std::max(peak, ::Bench::peakResidentMegabytes());
        state.SetIterationTime(seconds(end - start));
        pipelineSeconds += seconds(end - start);
        baselineSeconds += seconds(baselineEnd - baselineStart);
    }
    state.counters["baseline_raw_transfer_s"] = baselineSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = pipelineSeconds / baselineSeconds;
    state.counters["peak_MB"] = peak;
    state.counters["body_MB"] = static_cast<double>(body.size()) / (1024.0 * 1024.0);
}
BENCHMARK(RecursiveListing100k)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void Uploads1000(benchmark::State& state)
{
    auto client = bench().client();
    std::vector<Platform::URL> files;
    for (int index = 0; index < transferCount; ++index) {
        auto path = bench().folder() / "local" / ("upload-" + std::to_string(index) + ".txt");
        std::ofstream(path, std::ios::binary) << std::string(4096, static_cast<char>('a' + index % 26));
        files.push_back(Platform::URL::fileURL(path.string()));
    }
    Platform::URLRequest raw { .url = bench().server().baseURL() + "/status" };
    double pipelineSeconds = 0;
    double baselineSeconds = 0;
    for (auto _ : state) {
        bench().server().script("POST", "/v2.0/files/init", { .body = R"({"upload":true,"data":)" + fileObject(42) + "}", .contentType = "application/octet-stream" }, transferCount);
        bench().server().script("PUT", "/v2.0/files/42/stream", { .body = R"({"data":)" + fileObject(42) + "}", .contentType = "application/octet-stream" }, transferCount);
        // The same number of exchanges (announcement and transfer each), raw.
        std::vector<Reactive::SignalProducer<Quarlink::DataResponse, Reactive::AnyError>> rawRequests;
        for (int index = 0; index < 2 * transferCount; ++index)
            rawRequests.push_back(client->dataProducer(raw, Quarlink::QueuePriority::normal));
        auto baselineStart = std::chrono::steady_clock::now();
        ::Bench::startAllAndWait(rawRequests);
        auto baselineEnd = std::chrono::steady_clock::now();

        auto start = std::chrono::steady_clock::now();
        std::vector<Reactive::SignalProducer<Quarlink::CloudMetaPackage<Quarlink::File>, Reactive::AnyError>> uploads;
        for (const auto& file : files)
            uploads.push_back(Quarlink::upload(client, file, 1));
        if (::Bench::startAllAndWait(uploads) != 0)
            state.SkipWithError("uploads failed");
        auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(seconds(end - start));
        pipelineSeconds += seconds(end - start);
        baselineSeconds += seconds(baselineEnd - baselineStart);
    }
    state.counters["files_per_second"] = transferCount * static_cast<double>(state.iterations()) / pipelineSeconds;
    state.counters["baseline_raw_exchanges_s"] = baselineSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = pipelineSeconds / baselineSeconds;
    state.counters["peak_MB"] = ::Bench::peakResidentMegabytes();
}
BENCHMARK(Uploads1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void Downloads1000(benchmark::State& state)
{
    // The service's own file routes: a user with 1,000 files of 4 KiB, logged in.
    auto client = bench().client();
    bench().server().accounts().addUser("bench@example.org", "Geheim-123");
    std::vector<LocalCloud::SeedEntry> entries { { "/Bench/" } };
    for (int index = 0; index < transferCount; ++index)
        entries.push_back({ "/Bench/" + std::to_string(index) + ".txt", std::string(4096, 'd') });
    if (!bench().server().seedTree("bench@example.org", entries)) {
        state.SkipWithError("seeding failed");
        return;
    }
    if (::Bench::startAllAndWait<Reactive::Unit>({ Quarlink::login(client, { "bench@example.org", "Geheim-123" }) }) != 0) {
        state.SkipWithError("login failed");
        return;
    }
    std::vector<std::int64_t> identifiers;
    auto listing = Quarlink::recursiveFiles(client).on({ .value = [&](const auto& package) {
        for (const auto& file : package.payload())
            if (!file.isFolder())
                identifiers.push_back(file.fileID());
    } });
    ::Bench::startAllAndWait<Quarlink::CloudMetaPackage<std::vector<Quarlink::File>>>({ listing });
    if (identifiers.size() != transferCount) {
        state.SkipWithError("listing failed");
        return;
    }
    auto target = Platform::URL::fileURL((bench().folder() / "placed").string());
    double pipelineSeconds = 0;
    double baselineSeconds = 0;
    for (auto _ : state) {
        std::vector<Reactive::SignalProducer<Quarlink::DownloadResponse, Reactive::AnyError>> rawDownloads;
        for (auto identifier : identifiers)
            rawDownloads.push_back(client->downloadProducer(
                { .url = bench().server().baseURL() + "/files/" + std::to_string(identifier) + "/download" }, Quarlink::QueuePriority::normal)
                    .on({ .value = [](const Quarlink::DownloadResponse& response) {
                        // The delivered file is ours to remove.
                        if (response.tempURL) {
                            std::error_code ignored;
                            std::filesystem::remove(response.tempURL->path(), ignored);
                        }
                    } }));
        // A first sync places into an empty folder.
        std::error_code ignored;
        std::filesystem::remove_all(bench().folder() / "placed", ignored);
        auto start = std::chrono::steady_clock::now();
        std::vector<Reactive::SignalProducer<Quarlink::ProgressEvent<Platform::URL>, Reactive::AnyError>> downloads;
        for (auto identifier : identifiers)
            downloads.push_back(Quarlink::download(client, identifier, "file.txt", 4096, target));
        if (::Bench::startAllAndWait(downloads) != 0)
            state.SkipWithError("downloads failed");
        auto end = std::chrono::steady_clock::now();
        // The baseline after the measured run: ext4 makes new files slower while
        // many were deleted recently, so whichever runs second pays for the first.
        auto baselineStart = std::chrono::steady_clock::now();
        ::Bench::startAllAndWait(rawDownloads);
        auto baselineEnd = std::chrono::steady_clock::now();

        state.SetIterationTime(seconds(end - start));
        pipelineSeconds += seconds(end - start);
        baselineSeconds += seconds(baselineEnd - baselineStart);
    }
    state.counters["files_per_second"] = transferCount * static_cast<double>(state.iterations()) / pipelineSeconds;
    state.counters["baseline_raw_downloads_s"] = baselineSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = pipelineSeconds / baselineSeconds;
    state.counters["peak_MB"] = ::Bench::peakResidentMegabytes();
}
BENCHMARK(Downloads1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
