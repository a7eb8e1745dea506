// The local service alone, driven by plain libcurl over two keep-alive
// connections (one thread each): downloads and announced uploads
// (announcement, then the transfer) on trees of 5,000 and 50,000 files, next
// to the baseline of the same connections fetching the service's cheapest
// route ("status") and a byte route without session or tree ("debug/raw").
// Per-request time should not grow with the tree.

#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "PlainRequest.hpp"
#include "Platform/Foundation/Digest.hpp"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr const char* login = "bench";
constexpr const char* password = "bench";
constexpr std::size_t filesPerFolder = 100;
const std::string smallContent(4096, 'c');

struct Service {
    std::filesystem::path folder;
    std::unique_ptr<LocalCloud::LocalCloudServer> server;
    std::vector<std::int64_t> files;
    std::int64_t uploadFolder = 0;
};

std::map<int, Service>& services()
{
    static std::map<int, Service> all;
    return all;
}

Service makeService(int fileCount)
{
    Service service;
    // LOCALCLOUD_BENCH_FOLDER picks the file system (e.g. /dev/shm, to leave the disk's own cost out).
    const char* parent = std::getenv("LOCALCLOUD_BENCH_FOLDER");
    service.folder = (parent ? std::filesystem::path(parent) : std::filesystem::temp_directory_path())
        / ("localcloud-bench-" + std::to_string(::getpid()) + "-" + std::to_string(fileCount));
    std::filesystem::remove_all(service.folder);
    auto started = LocalCloud::LocalCloudServer::start(
        { .dataFolder = service.folder, .connections = { .maximumConnections = 4 }, .testControls = true });
    if (!started)
        std::abort();
    service.server = std::move(*started);
    service.server->accounts().addUser(login, password);
    std::vector<LocalCloud::SeedEntry> entries;
    for (int index = 0; index < fileCount; ++index) {
        entries.push_back({ "/folder" + std::to_string(index / filesPerFolder) + "/file" + std::to_string(index) + ".bin",
            smallContent });
    }
    entries.push_back({ "/uploads/" });
    if (!service.server->seedTree(login, entries))
        std::abort();
    // The identifiers, from the files' own service.
    auto& tree = service.server->files();
    auto everything = tree.children(login, std::nullopt, true);
    for (const auto& item : *everything) {
        if (!item.record.folder())
            service.files.push_back(item.record.id);
        else if (item.record.name == "uploads")
            service.uploadFolder = item.record.id;
    }
    return service;
}

// One keep-alive connection with a session, per thread and service.
class Connection {
public:
    explicit Connection(int port)
        : m_base("http://127.0.0.1:" + std::to_string(port) + "/v2.0/")
        , m_handle(curl_easy_init())
    {
        curl_easy_setopt(m_handle, CURLOPT_COOKIEFILE, "");
        curl_easy_setopt(m_handle, CURLOPT_TCP_NODELAY, 1L);
        std::string body = std::string("{\"world\":\"2\",\"login\":\"") + login + "\",\"password\":\"" + password + "\"}";
        request("POST", "login", body, "application/json");
    }
    ~Connection() { curl_easy_cleanup(m_handle); }

    // The status code; the body into `answer` when given.
    long request(const char* method, const std::string& path, const std::string& body = {},
        const char* contentType = nullptr, std::string* answer = nullptr, const char* extraHeader = nullptr)
    {
        return plainRequest(m_handle, m_base + path, method, body, contentType, answer, extraHeader);
    }

private:
    std::string m_base;
    CURL* m_handle;
};

// Each iteration sends `batch` requests on each of the two connections at once
// (one thread each) and counts the wall time of the whole batch, so the rate
// is that of both connections together.
constexpr int batch = 250;

template <class Request>
void driveBothConnections(benchmark::State& state, Request&& request)
{
    int fileCount = static_cast<int>(state.range(0));
    static std::map<int, std::array<std::unique_ptr<Connection>, 2>> connections;
    auto& pair = connections[fileCount];
    for (auto& connection : pair) {
        if (!connection)
            connection = std::make_unique<Connection>(services().at(fileCount).server->port());
    }
    std::atomic<bool> failed { false };
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::thread second([&] {
            for (int index = 0; index < batch && !failed; ++index)
                failed = failed || !request(*pair[1], 1);
        });
        for (int index = 0; index < batch && !failed; ++index)
            failed = failed || !request(*pair[0], 0);
        second.join();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (failed) {
            state.SkipWithError("a request failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 2 * batch);
}

void BM_Status(benchmark::State& state)
{
    driveBothConnections(state, [](Connection& connection, int) { return connection.request("GET", "status") == 200; });
}

void BM_RawDownload(benchmark::State& state)
{
    driveBothConnections(
        state, [](Connection& connection, int) { return connection.request("GET", "debug/raw/1") == 200; });
}

void BM_Download(benchmark::State& state)
{
    const auto& files = services().at(static_cast<int>(state.range(0))).files;
    std::mt19937 randoms[2] { std::mt19937(1), std::mt19937(2) };
    driveBothConnections(state, [&](Connection& connection, int side) {
        auto identifier = files[randoms[side]() % files.size()];
        return connection.request("GET", "files/" + std::to_string(identifier) + "/download") == 200;
    });
}

void BM_AnnouncedUpload(benchmark::State& state)
{
    const auto& service = services().at(static_cast<int>(state.range(0)));
    static std::atomic<std::int64_t> counter { 0 };
    std::string answers[2];
    driveBothConnections(state, [&](Connection& connection, int side) {
        auto name = "upload" + std::to_string(counter++) + ".bin";
        auto content = name + smallContent;
        auto hash = Platform::sha1Hex(content);
        std::string announcement = "{\"parent_file_id\":" + std::to_string(service.uploadFolder) + ",\"name\":\"" + name
            + "\",\"mime_type\":\"application/octet-stream\",\"created\":1,\"modified\":2,\"hash\":\"" + hash
            + "\",\"file_size\":" + std::to_string(content.size()) + "}";
        auto& answer = answers[side];
        answer.clear();
        if (connection.request("POST", "files/init", announcement, "application/json", &answer) != 200)
            return false;
        // {"upload":true,"data":{"id":N,...
        auto idAt = answer.find("\"id\":");
        auto identifier = std::strtoll(answer.c_str() + idAt + 5, nullptr, 10);
        auto requestHash = "Request-Hash: " + LocalCloud::requestHash(service.uploadFolder, name, hash);
        return connection.request("PUT", "files/" + std::to_string(identifier) + "/stream", content,
                   "application/octet-stream", nullptr, requestHash.c_str())
            == 200;
    });
}

// The whole tree in one answer, as a first sync asks for it (one connection).
void BM_RecursiveListing(benchmark::State& state)
{
    int fileCount = static_cast<int>(state.range(0));
    static std::map<int, std::unique_ptr<Connection>> connections;
    auto& connection = connections[fileCount];
    if (!connection)
        connection = std::make_unique<Connection>(services().at(fileCount).server->port());
    std::string answer;
    for (auto _ : state) {
        answer.clear();
        if (connection->request("GET", "files?depth=-1", {}, nullptr, &answer) != 200)
            state.SkipWithError("listing failed");
    }
    state.SetItemsProcessed(state.iterations() * fileCount);
    state.counters["bytes_per_answer"] = static_cast<double>(answer.size());
}

// What each stored upload costs the file system at least: a new file of the
// same size written in the content folder and renamed into place.
void BM_FileCreateBaseline(benchmark::State& state)
{
    const auto& service = services().at(static_cast<int>(state.range(0)));
    auto folder = service.folder / "content";
    static std::atomic<std::int64_t> counter { 0 };
    auto create = [&] {
        auto number = counter++;
        auto temporary = folder / (".baseline-" + std::to_string(number));
        {
            std::ofstream stream(temporary, std::ios::binary);
            stream << smallContent;
        }
        std::filesystem::rename(temporary, folder / ("baseline-" + std::to_string(number)));
    };
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::thread second([&] {
            for (int index = 0; index < batch; ++index)
                create();
        });
        for (int index = 0; index < batch; ++index)
            create();
        second.join();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetItemsProcessed(state.iterations() * 2 * batch);
}

} // namespace

BENCHMARK(BM_Status)->Arg(5000)->Arg(50000)->UseManualTime();
BENCHMARK(BM_RawDownload)->Arg(5000)->Arg(50000)->UseManualTime();
BENCHMARK(BM_Download)->Arg(5000)->Arg(50000)->UseManualTime();
BENCHMARK(BM_RecursiveListing)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();
// The file system slows down as files come and go, so both make the same number of files, one after the other.
BENCHMARK(BM_AnnouncedUpload)->Arg(5000)->Arg(50000)->UseManualTime()->Iterations(12);
BENCHMARK(BM_FileCreateBaseline)->Arg(5000)->Arg(50000)->UseManualTime()->Iterations(12);

int main(int argc, char** argv)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (int fileCount : { 5000, 50000 }) {
        auto service = makeService(fileCount);
        std::filesystem::create_directories(service.folder / "raw");
        std::ofstream(service.folder / "raw" / "1", std::ios::binary) << smallContent;
        services().emplace(fileCount, std::move(service));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (auto& [count, service] : services()) {
        service.server.reset();
        std::filesystem::remove_all(service.folder);
    }
    curl_global_cleanup();
    return 0;
}
