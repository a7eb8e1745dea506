// glimmerd under a file manager's load: 10,000 `badge` requests on a database
// of 50,000 status rows (requests per second), and the delay from a status
// commit in another process to the badge event on a subscribed connection.
// Baselines in the same process: the same lookups straight through the status
// store (no socket, no second process), and the database's own delay from a
// commit in another process to a status stream of this one. Commits come from
// one long-running sqlite3 process for both, so both cross a process boundary.

#include "Glimmerd/Control/GlimmerClient.hpp"
#include "Glimmerd/Tests/GlimmerdProcess.hpp"
#include "Glimmerd/Tests/HostTestSupport.hpp"
#include "Platform/Database/CloudDatabaseSchema.hpp"
#include "Platform/Foundation/UserDefaults.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>

using namespace GlimmerdTesting;
using Sync::FileSyncStatus;

namespace {

// A sqlite3 shell kept running on the database, committing one statement per line.
class SqliteWriter {
public:
    explicit SqliteWriter(const std::string& database)
    {
        int ends[2];
        if (pipe(ends) != 0)
            std::abort();
        m_pid = fork();
        if (m_pid == 0) {
            dup2(ends[0], STDIN_FILENO);
            close(ends[0]);
            close(ends[1]);
            execlp("sqlite3", "sqlite3", "-batch", database.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ends[0]);
        m_input = ends[1];
        write(".timeout 5000\n");
    }
    ~SqliteWriter()
    {
        close(m_input);
        waitpid(m_pid, nullptr, 0);
    }
    void setStatus(const std::string& path, FileSyncStatus status)
    {
        write("UPDATE FileStatus SET status = " + std::to_string(Sync::rawValue(status)) + " WHERE filePath = '" + path + "';\n");
    }

private:
    void write(const std::string& text)
    {
        if (::write(m_input, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            std::abort();
    }
    pid_t m_pid = -1;
    int m_input = -1;
};

constexpr int rowCount = 50000;
constexpr int requestCount = 10000;

// One group directory with 50,000 rows, a running test application and glimmerd, shared by every benchmark.
struct Scene {
    Platform::Testing::TemporaryDirectory directory;
    std::string group = directory / "group";
    std::string runtime = directory / "run";
    std::string cloud = directory / "cloud";
    std::unique_ptr<TestApplication> application;
    std::unique_ptr<GlimmerdProcess> glimmerd;
    std::unique_ptr<SqliteWriter> writer;

    Scene()
    {
        mkdir(group.c_str(), 0700);
        mkdir(runtime.c_str(), 0700);
        std::filesystem::create_directories(cloud);
        application = std::make_unique<TestApplication>(group);
        std::vector<Sync::FileRef> files;
        for (int index = 0; index < rowCount; ++index) {
            files.push_back(std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields {
                .syncFileID = Sync::SyncFileID::remote(index + 2), .path = path(index), .fileName = "Datei",
                .syncParentID = Sync::SyncFileID::remote(1) }));
        }
        application->statusStore->mark(files, FileSyncStatus::upToDate, Platform::URL::fileURL(cloud, Platform::URL::IsDirectory::Yes));
        (void)(*Platform::UserDefaults::open(group))->set("CloudFolderURL", cloud);
        application->launch();
        glimmerd = std::make_unique<GlimmerdProcess>(group, runtime);
        if (!glimmerd->waitUntilServing() || !waitFor([&] { return glimmerctl(*glimmerd, { "observed" }).output == cloud + "\n"; }, std::chrono::seconds(30)))
            std::abort();
        writer = std::make_unique<SqliteWriter>(group + "/Cloud.realm");
    }

    static std::string path(int index) { return "/Projekt " + std::to_string(index / 100) + "/Datei " + std::to_string(index); }
    std::string absolute(int index) const { return cloud + path(index); }
};

Scene& scene()
{
    static Scene shared;
    return shared;
}

// The baselines' mean seconds per iteration, for the ratios of the benchmarks after them.
double directLookupSeconds = 0;
double storeStreamSeconds = 0;

std::vector<int> randomRows()
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> row(0, rowCount - 1);
    std::vector<int> rows(requestCount);
    for (auto& index : rows)
        index = row(random);
    return rows;
}

// Baseline: one status lookup per item straight through the store, in this process.
void BM_DirectStatusLookups(benchmark::State& state)
{
    auto& shared = scene();
    auto rows = randomRows();
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int index : rows)
            benchmark::DoNotOptimize(shared.application->statusStore->status(Platform::URL::fileURL(shared.absolute(index))));
    }
    directLookupSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * requestCount);
}

// 10,000 badge requests over one connection, one after another.
void BM_BadgeRequests(benchmark::State& state)
{
    auto& shared = scene();
    auto client = Control::GlimmerClient::connect(shared.glimmerd->socketPath());
    if (!client) {
        state.SkipWithError("glimmerd not reachable");
        return;
    }
    auto rows = randomRows();
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int index : rows) {
            auto answer = client->request({ { "op", "badge" }, { "path", shared.absolute(index) } });
            if (!answer || (*answer)["badge"] != "Idle") {
                state.SkipWithError("unexpected answer");
                return;
            }
        }
    }
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / static_cast<double>(state.iterations());
    if (directLookupSeconds > 0)
        state.counters["ratioToDirectLookups"] = seconds / directLookupSeconds;
    state.SetItemsProcessed(state.iterations() * requestCount);
}

// The time from a status commit in this process to the badge event pushed by glimmerd.
void BM_CommitToEvent(benchmark::State& state)
{
    auto& shared = scene();
    auto client = Control::GlimmerClient::connect(shared.glimmerd->socketPath());
    if (!client || !client->request({ { "op", "subscribe" } })) {
        state.SkipWithError("glimmerd not reachable");
        return;
    }
    auto url = Platform::URL::fileURL(shared.absolute(1));
    (void)client->request({ { "op", "badge" }, { "path", shared.absolute(1) } });
    bool error = false;
    double total = 0;
    for (auto _ : state) {
        error = !error;
        auto expected = error ? "Error" : "Idle";
        auto start = std::chrono::steady_clock::now();
        shared.writer->setStatus(shared.absolute(1), error ? FileSyncStatus::error : FileSyncStatus::upToDate);
        while (true) {
            auto line = client->nextLine(std::chrono::seconds(10));
            if (!line) {
                state.SkipWithError("no event");
                return;
            }
            if (line->value("path", std::string()) == shared.absolute(1) && line->value("badge", nlohmann::json()) == expected)
                break;
        }
        auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        total += seconds;
        state.SetIterationTime(seconds);
    }
    if (storeStreamSeconds > 0 && state.iterations() > 0)
        state.counters["ratioToStoreStream"] = total / static_cast<double>(state.iterations()) / storeStreamSeconds;
}

// Baseline: the same commit reaching the status stream of a store in this process.
void BM_CommitToStoreStream(benchmark::State& state)
{
    auto& shared = scene();
    auto url = Platform::URL::fileURL(shared.absolute(2));
    auto store = std::make_shared<Sync::RealmFileSyncStatusStore>(
        Platform::Database::factory(Platform::cloudDatabaseConfiguration(shared.group + "/Cloud.realm")),
        Reactive::QueueScheduler::make("Bench Stream"));
    store->setTrackedURLs({ url });
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<FileSyncStatus> seen;
    auto subscription = store->statusProducer().startWithValues([&](const Sync::FileSyncStatuses& statuses) {
        std::lock_guard lock(mutex);
        if (auto found = statuses.find(url); found != statuses.end())
            seen = found->second;
        changed.notify_all();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    bool error = false;
    double total = 0;
    for (auto _ : state) {
        error = !error;
        auto expected = error ? FileSyncStatus::error : FileSyncStatus::upToDate;
        auto start = std::chrono::steady_clock::now();
        shared.writer->setStatus(shared.absolute(2), expected);
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, std::chrono::seconds(10), [&] { return seen == expected; })) {
            state.SkipWithError("no delivery");
            break;
        }
        auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        total += seconds;
        state.SetIterationTime(seconds);
    }
    if (state.iterations() > 0)
        storeStreamSeconds = total / static_cast<double>(state.iterations());
    subscription.dispose();
}

} // namespace

BENCHMARK(BM_DirectStatusLookups)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BadgeRequests)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CommitToStoreStream)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_CommitToEvent)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

BENCHMARK_MAIN();
