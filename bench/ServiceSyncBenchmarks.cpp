// The whole road of a sync run: the engine on a real cloud folder with its
// SQLite stores and extended attributes, through the API client manager and
// the URL-session client over HTTP to the local service on loopback. Each
// case reports files per second, requests per file and the process's peak
// memory, and beside it a plain directory walk of the same tree, measured in
// the same process, with the ratio of the two.
//
// FIXME: the service runs in this process (its customer route is scripted,
// which the program does not offer yet), so the peak memory includes it.
//
// The 50,000-file cases run only when asked for, e.g.
//   ServiceSyncBenchmarks --benchmark_filter=/50000

#include "LocalCloud/LocalCloudServer.hpp"
#include "Orvella/Credentials/CredentialHolder.hpp"
#include "Orvella/Service/APIClientManager.hpp"
#include "Orvella/Service/EmailDomainPartCredentialSanitizer.hpp"
#include "PeakMemory.hpp"
#include "Platform/Database/CloudDatabaseSchema.hpp"
#include "Platform/FileSystem/ExtendedAttributes.hpp"
#include "Quarlink/Client/URLSessionAPIClient.hpp"
#include "Quarlink/Environment/Environment.hpp"
#include "Sync/TestSupport/TestCloud.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const Quarlink::Credentials user { "bench@example.org", "Geheim-123" };

class MemoryCredentialHolder final : public Orvella::CredentialHolder {
public:
    Reactive::MutableProperty<std::optional<Quarlink::Credentials>>& credentials() override { return m_credentials; }

private:
    Reactive::MutableProperty<std::optional<Quarlink::Credentials>> m_credentials { std::nullopt };
};

class NoCredentialStore final : public Quarlink::CredentialStore {
public:
    std::optional<std::string> email() const override { return std::nullopt; }
    void setEmail(std::optional<std::string>) override { }
    std::optional<std::string> password() const override { return std::nullopt; }
    void setPassword(std::optional<std::string>) override { }
};

// A fresh service, client, manager and engine over a private folder.
class Road {
public:
    Road()
    {
        m_folder = std::filesystem::temp_directory_path() / ("service-sync-bench-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder / "Cloud");
        std::filesystem::create_directories(m_folder / "downloads");
        auto server = LocalCloud::LocalCloudServer::start({ .dataFolder = m_folder / "data" });
        if (!server)
            return;
        m_server = std::move(*server);
        m_server->accounts().addUser(user.username, user.password);
        auto customer = nlohmann::json { { "cid", 1 }, { "first_name", "B" }, { "last_name", "B" }, { "email", user.username },
            { "root_file_id", m_server->rootIdentifier(user.username) },
            { "features", { { "advertising", false }, { "has_ocr", false }, { "has_reminders", false } } },
            { "main_product_short_name", "Free" }, { "limits", { { "mail_total_size", 1 } } } };
        m_server->script("GET", "/v2.0/customer", { .status = 200, .body = customer.dump() });

        Platform::URLSessionConfiguration configuration;
        configuration.temporaryDirectory = m_folder / "downloads";
        auto endpoint = std::make_shared<Quarlink::Environment>(Quarlink::Environment::custom(*Platform::URL::create(m_server->baseURL())));
        auto client = Quarlink::URLSessionAPIClient::create(configuration, std::make_shared<NoCredentialStore>(),
            std::make_shared<Quarlink::InMemoryEnvironmentStore>(endpoint));
        if (!client)
            return;
        m_ownChanges = Platform::OwnChangeRegistry::create();
        m_manager = Orvella::APIClientManager::create({ .apiClient = *client,
            .sanitizer = std::make_shared<Orvella::EmailDomainPartCredentialSanitizer>("example.org"),
            .settingsManager = nullptr,
            .credentialHolder = std::make_shared<MemoryCredentialHolder>(),
            .ownChanges = m_ownChanges });
        std::mutex mutex;
        std::condition_variable changed;
        bool ended = false;
        auto login = m_manager->login(user).startWithEvents([&](const auto& event) {
            if (!event.isTerminating())
                return;
            std::lock_guard lock(mutex);
            ended = true;
            changed.notify_all();
        });
        std::unique_lock lock(mutex);
        changed.wait_for(lock, 10s, [&] { return ended; });

        m_stores = Reactive::QueueScheduler::make("ServiceSyncBenchmarks.stores");
        auto folderURL = Platform::URL::fileURL((m_folder / "Cloud").string(), Platform::URL::IsDirectory::Yes);
        m_configuration = std::make_shared<Sync::Testing::TestFolderConfiguration>(folderURL);
        auto factory = Platform::Database::factory(Platform::cloudDatabaseConfiguration((m_folder / "Cloud.db").string()));
        auto fileStore = std::make_shared<Sync::RealmFileStore>(factory, m_stores);
        auto statusStore = std::make_shared<Sync::RealmFileSyncStatusStore>(factory, m_stores);
        auto references = std::make_shared<Sync::ExtendedAttributeFileReferenceMapping>(fileStore,
            Platform::ExtendedAttributes::system(), m_ownChanges);
        m_engine = std::make_shared<Sync::SyncManager>(m_manager, Sync::FileSystemFileStore(m_configuration, m_ownChanges),
            fileStore, references, statusStore);
    }

    ~Road()
    {
        m_engine.reset();
        auto deadline = Clock::now() + 10s;
        while (m_manager && m_manager.use_count() > 1 && Clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        m_manager.reset();
        m_server.reset();
        std::filesystem::remove_all(m_folder);
    }

    [[nodiscard]] bool ready() const { return m_engine && m_manager->isLoggedIn().value(); }
    [[nodiscard]] std::filesystem::path cloud() const { return m_folder / "Cloud"; }
    LocalCloud::LocalCloudServer& server() { return *m_server; }

    // One run; false when it reported an error or did not end.
    bool sync()
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool ended = false;
        bool failed = false;
        auto run = m_engine->performSync().startWithEvents([&](const Reactive::Event<Sync::SyncEventPair, Reactive::NoError>& event) {
            std::lock_guard lock(mutex);
            if (event.isValue())
                failed = failed || event.value().first.isError();
            else
                ended = true;
            changed.notify_all();
        });
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 30min, [&] { return ended; }) && !failed;
    }

private:
    std::filesystem::path m_folder;
    std::unique_ptr<LocalCloud::LocalCloudServer> m_server;
    std::shared_ptr<Platform::OwnChangeRegistry> m_ownChanges;
    std::shared_ptr<Orvella::APIClientManager> m_manager;
    std::shared_ptr<Reactive::QueueScheduler> m_stores;
    std::shared_ptr<Sync::Testing::TestFolderConfiguration> m_configuration;
    std::shared_ptr<Sync::SyncManager> m_engine;
};

// The tree: folders of 100 small files each.
std::string pathOf(std::int64_t index)
{
    return "/F" + std::to_string(index / 100) + "/f" + std::to_string(index) + ".txt";
}

double walkSeconds(const std::filesystem::path& folder)
{
    auto start = Clock::now();
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            bytes += entry.file_size();
    benchmark::DoNotOptimize(bytes);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void report(benchmark::State& state, std::int64_t files, double seconds, std::size_t requests, const std::filesystem::path& tree)
{
    state.SetIterationTime(seconds);
    auto walk = walkSeconds(tree);
    state.counters["files_per_second"] = double(files) / seconds;
    state.counters["requests_per_file"] = double(requests) / double(files);
    state.counters["peak_MiB"] = Bench::peakResidentMegabytes();
    state.counters["walk_seconds"] = walk;
    state.counters["ratio_to_walk"] = seconds / walk;
}

void ServiceSync_FirstSyncDown(benchmark::State& state)
{
    const auto files = state.range(0);
    for (auto _ : state) {
        Bench::resetPeakResident();
        Road road;
        if (!road.ready()) {
            state.SkipWithError("no service");
            return;
        }
        std::vector<LocalCloud::SeedEntry> entries;
        for (std::int64_t folder = 0; folder * 100 < files; ++folder)
            entries.push_back({ "/F" + std::to_string(folder) + "/" });
        for (std::int64_t index = 0; index < files; ++index)
            entries.push_back({ pathOf(index), "content " + std::to_string(index) });
        if (!road.server().seedTree(user.username, entries)) {
            state.SkipWithError("seed failed");
            return;
        }
        auto before = road.server().requestCount();
        auto start = Clock::now();
        if (!road.sync())
            state.SkipWithError("run failed");
        auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
        report(state, files, seconds, road.server().requestCount() - before, road.cloud());
        // An idle run over the synced tree.
        auto idleStart = Clock::now();
        road.sync();
        state.counters["idle_run_seconds"] = std::chrono::duration<double>(Clock::now() - idleStart).count();
    }
}

void ServiceSync_FirstSyncUp(benchmark::State& state)
{
    const auto files = state.range(0);
    for (auto _ : state) {
        Bench::resetPeakResident();
        Road road;
        if (!road.ready()) {
            state.SkipWithError("no service");
            return;
        }
        for (std::int64_t index = 0; index < files; ++index) {
            auto path = road.cloud() / pathOf(index).substr(1);
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path) << "content " << index;
        }
        auto before = road.server().requestCount();
        auto start = Clock::now();
        if (!road.sync())
            state.SkipWithError("run failed");
        auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
        report(state, files, seconds, road.server().requestCount() - before, road.cloud());
    }
}

} // namespace

BENCHMARK(ServiceSync_FirstSyncDown)->Arg(1000)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(ServiceSync_FirstSyncUp)->Arg(1000)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
