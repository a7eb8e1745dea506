// The whole road of a sync run: the engine on a real cloud folder with its
// SQLite stores and extended attributes, through the API client manager and
// the URL-session client over HTTP to the local service on loopback. Each
// case reports files per second, requests per file and the process's peak
// memory, and beside it a plain directory walk of the same tree, measured in
// the same process, with the ratio of the two. A first sync is also set
// beside the same exchanges sent by plain libcurl over two keep-alive
// connections to the same service, one after another as the engine sends
// them (an announcement and a transfer per uploaded file, a fetch per
// downloaded one): that ratio is what the road adds to the wire and the
// service.
//
// The service is the `localcloud` program in a child process (its tree is
// seeded in-process first, over the same data folder), so the peak memory is
// the client's own and the service's CPU time is read from /proc; both CPU
// times are reported per file. Every case runs on the disk (the temporary
// folder) and on tmpfs (/dev/shm): first-sync rates on the disk swing with
// its state, the tmpfs run shows the road without it.
//
// The 50,000- and 100,000-file cases take minutes; run them alone with, e.g.
//   ServiceSyncBenchmarks --benchmark_filter=/50000

#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "LocalCloud/TestSupport/LocalCloudProcess.hpp"
#include "Orvella/Credentials/CredentialHolder.hpp"
#include "Orvella/Service/APIClientManager.hpp"
#include "Orvella/Service/EmailDomainPartCredentialSanitizer.hpp"
#include "Orvella/Service/SyncAPIClientAdapter.hpp"
#include "PeakMemory.hpp"
#include "PlainRequest.hpp"
#include "Platform/FileSystem/ExtendedAttributes.hpp"
#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/ProcessMemory.hpp"
#include "Quarlink/Client/URLSessionAPIClient.hpp"
#include "Quarlink/Environment/Environment.hpp"
#include "Quarlink/Requests/RequestFilter.hpp"
#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Sync/TestSupport/TestCloud.hpp"

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <signal.h>
#include <sstream>
#include <utility>
#include <sys/resource.h>
#include <sys/wait.h>
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

// Lets every request run and counts them.
class CountingFilter final : public Quarlink::RequestFilter {
public:
    Reactive::SignalProducer<bool, Reactive::AnyError> shouldPerform(const Quarlink::AnyRequest&, Quarlink::APIClient&) override
    {
        ++count;
        return Reactive::SignalProducer<bool, Reactive::AnyError>::value(true);
    }
    std::atomic<std::size_t> count { 0 };
};

// A fresh service, client, manager and engine over a private folder.
class Road {
public:
    // `diskSync`: how the engine's disk store makes what it places durable (the system's when null).
    explicit Road(const std::filesystem::path& base, const std::vector<LocalCloud::SeedEntry>& seed = {},
        std::shared_ptr<const Platform::DiskSync> diskSync = nullptr)
    {
        m_folder = base / ("service-sync-bench-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder / "Cloud");
        std::filesystem::create_directories(m_folder / "downloads");
        {
            // The account and its tree, written to the data folder the program then serves.
            auto seeding = LocalCloud::LocalCloudServer::start({ .dataFolder = m_folder / "data", .testControls = true });
            if (!seeding)
                return;
            (*seeding)->accounts().addUser(user.username, user.password);
            static_cast<void>((*seeding)->rootIdentifier(user.username));
            if (!seed.empty() && !(*seeding)->seedTree(user.username, seed))
                return;
        }
        m_service = std::make_unique<LocalCloud::Testing::LocalCloudProcess>(LOCALCLOUD_PROGRAM, m_folder / "data");
        if (!m_service->isRunning())
            return;
        static_cast<void>(m_service->waitUntilAccepting(10s));

        Platform::URLSessionConfiguration configuration;
        configuration.temporaryDirectory = m_folder / "downloads";
        auto endpoint = std::make_shared<Quarlink::Environment>(
            Quarlink::Environment::custom(*Platform::URL::create(m_service->baseURL())));
        auto client = Quarlink::URLSessionAPIClient::create(configuration, std::make_shared<NoCredentialStore>(),
            std::make_shared<Quarlink::InMemoryEnvironmentStore>(endpoint));
        if (!client)
            return;
        Quarlink::setRequestFilter(**client, m_filter);
        m_ownChanges = Platform::OwnChangeRegistry::create();
        m_manager = Orvella::APIClientManager::create({ .apiClient = *client,
            .sanitizer = std::make_shared<Orvella::EmailDomainPartCredentialSanitizer>("example.org"),
            .settingsManager = nullptr,
            .credentialHolder = std::make_shared<MemoryCredentialHolder>() });
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
        auto factory = Platform::Database::factory(Sync::cloudDatabaseConfiguration((m_folder / "Cloud.db").string()));
        auto fileStore = std::make_shared<Sync::RealmFileStore>(factory, m_stores);
        auto statusStore = std::make_shared<Sync::RealmFileSyncStatusStore>(factory, m_stores);
        auto references = std::make_shared<Sync::ExtendedAttributeFileReferenceMapping>(fileStore,
            Platform::ExtendedAttributes::system(), m_ownChanges);
        auto diskStore = std::make_shared<Sync::FileSystemFileStore>(m_configuration, m_ownChanges, nullptr, std::move(diskSync));
        auto adapter = std::make_shared<Orvella::SyncAPIClientAdapter>(Orvella::SyncAPIClientAdapter::Collaborators {
            .apiClient = m_manager->apiClient(), .apiManager = m_manager });
        m_engine = std::make_shared<Sync::SyncManager>(adapter, *diskStore, fileStore, references, statusStore);
    }

    ~Road()
    {
        m_engine.reset();
        auto deadline = Clock::now() + 10s;
        while (m_manager && m_manager.use_count() > 1 && Clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        m_manager.reset();
        if (m_service)
            m_service->stop(SIGTERM);
        std::filesystem::remove_all(m_folder);
    }

    [[nodiscard]] bool ready() const { return m_engine && m_manager->isLoggedIn().value(); }
    [[nodiscard]] std::filesystem::path cloud() const { return m_folder / "Cloud"; }
    [[nodiscard]] int port() const { return m_service ? m_service->port() : 0; }
    // The service's CPU time so far (user and system), in seconds.
    [[nodiscard]] double serviceCPUSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(m_service ? m_service->pid() : 0) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        auto fields = text.substr(text.rfind(')') + 2);
        std::istringstream stream(fields);
        std::string field;
        double ticks = 0;
        for (int index = 3; index <= 15 && stream >> field; ++index)
            if (index >= 14)
                ticks += std::stod(field);
        return ticks / double(::sysconf(_SC_CLK_TCK));
    }
    // Requests the client has sent so far.
    [[nodiscard]] std::size_t requests() const { return m_filter->count; }

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
    std::unique_ptr<LocalCloud::Testing::LocalCloudProcess> m_service;
    std::shared_ptr<CountingFilter> m_filter = std::make_shared<CountingFilter>();
    std::shared_ptr<Platform::OwnChangeRegistry> m_ownChanges;
    std::shared_ptr<Orvella::APIClientManager> m_manager;
    std::shared_ptr<Reactive::QueueScheduler> m_stores;
    std::shared_ptr<Sync::Testing::TestFolderConfiguration> m_configuration;
    std::shared_ptr<Sync::SyncManager> m_engine;
};

// Plain libcurl over two keep-alive connections sharing one session: the
// floor for what the road sends, measured on the same service.
class PlainExchanges {
public:
    explicit PlainExchanges(int port)
        : m_base("http://127.0.0.1:" + std::to_string(port) + "/v2.0/")
        , m_share(curl_share_init())
    {
        curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        for (auto& handle : m_handles) {
            handle = curl_easy_init();
            curl_easy_setopt(handle, CURLOPT_SHARE, m_share);
            curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");
            curl_easy_setopt(handle, CURLOPT_TCP_NODELAY, 1L);
        }
        // One login (it costs a deliberately slow key derivation) serves both connections.
        nlohmann::json body { { "world", "2" }, { "login", user.username }, { "password", user.password } };
        m_loggedIn = request(0, "POST", "login", body.dump(), "application/json") == 200;
    }
    ~PlainExchanges()
    {
        for (auto* handle : m_handles)
            curl_easy_cleanup(handle);
        curl_share_cleanup(m_share);
    }

    [[nodiscard]] bool loggedIn() const { return m_loggedIn; }

    // The status code; the body into `answer` when given.
    long request(int connection, const char* method, const std::string& path, const std::string& body = {},
        const char* contentType = nullptr, std::string* answer = nullptr, const std::string& extraHeader = {})
    {
        return plainRequest(m_handles[connection], m_base + path, method, body, contentType, answer, extraHeader.c_str());
    }

    // The identifiers of the tree's files and of its folder "F0".
    struct Listing {
        std::vector<std::int64_t> files;
        std::int64_t firstFolder = 0;
    };
    Listing listing()
    {
        std::string answer;
        Listing result;
        if (request(0, "GET", "files?depth=-1", {}, nullptr, &answer) != 200)
            return result;
        auto visit = [&](const auto& self, const nlohmann::json& value) -> void {
            if (value.is_array()) {
                for (const auto& item : value)
                    self(self, item);
            } else if (value.is_object()) {
                if (value.contains("id") && value.contains("name") && value["name"].is_string()) {
                    auto name = value["name"].get<std::string>();
                    if (name.ends_with(".txt"))
                        result.files.push_back(value["id"].get<std::int64_t>());
                    else if (name == "F0")
                        result.firstFolder = value["id"].get<std::int64_t>();
                    return;
                }
                for (const auto& [key, item] : value.items())
                    self(self, item);
            }
        };
        visit(visit, nlohmann::json::parse(answer, nullptr, false));
        return result;
    }

    // Fetches each file once, the connections taking turns; the seconds, or nothing on a failure.
    std::optional<double> downloads(const std::vector<std::int64_t>& files)
    {
        auto start = Clock::now();
        std::string answer;
        for (std::size_t index = 0; index < files.size(); ++index) {
            answer.clear();
            if (request(int(index % 2), "GET", "files/" + std::to_string(files[index]) + "/download", {}, nullptr, &answer) != 200)
                return std::nullopt;
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    // Announces and transfers `count` new small files into `folder`, one after another: the
    // announcement on one connection, the transfer on the other.
    std::optional<double> announcedUploads(std::int64_t folder, std::int64_t count)
    {
        auto start = Clock::now();
        std::string answer;
        for (std::int64_t index = 0; index < count; ++index) {
            auto name = "baseline" + std::to_string(index) + ".bin";
            auto content = "content " + std::to_string(index);
            auto hash = Platform::sha1Hex(content);
            nlohmann::json announcement { { "parent_file_id", folder }, { "name", name },
                { "mime_type", "application/octet-stream" }, { "created", 1 }, { "modified", 2 }, { "hash", hash },
                { "file_size", content.size() } };
            answer.clear();
            if (request(0, "POST", "files/init", announcement.dump(), "application/json", &answer) != 200)
                return std::nullopt;
            auto idAt = answer.find("\"id\":");
            if (idAt == std::string::npos)
                return std::nullopt;
            auto identifier = std::strtoll(answer.c_str() + idAt + 5, nullptr, 10);
            if (request(1, "PUT", "files/" + std::to_string(identifier) + "/stream", content, "application/octet-stream",
                    nullptr, "Request-Hash: " + LocalCloud::requestHash(folder, name, hash))
                != 200)
                return std::nullopt;
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

private:

    std::string m_base;
    CURLSH* m_share;
    std::array<CURL*, 2> m_handles {};
    bool m_loggedIn = false;
};

// The tree: folders of 100 small files each.
std::string pathOf(std::int64_t index)
{
    return "/F" + std::to_string(index / 100) + "/f" + std::to_string(index) + ".txt";
}

// Where a case keeps its folders: 0 the disk (the temporary folder), 1 tmpfs.
std::filesystem::path baseFolder(std::int64_t medium)
{
    return medium == 1 ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
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

// This process's CPU time so far (user and system, all threads), in seconds.
double clientCPUSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct FirstRun {
    double seconds = 0;
    std::size_t requests = 0;
};

// Times the first run and reports it with its requests, peak memory and both processes' CPU time per file.
FirstRun measureFirstRun(benchmark::State& state, Road& road, std::int64_t files)
{
    Bench::resetPeakResident();
    // Where the peak starts from: the program's and libraries' code, and the heap the road itself holds.
    const auto before = Bench::residentNow();
    state.counters["client_start_file_MiB"] = before.files;
    state.counters["client_start_anon_MiB"] = before.anonymous;
    auto requests = road.requests();
    auto serviceCPU = road.serviceCPUSeconds();
    auto clientCPU = clientCPUSeconds();
    auto start = Clock::now();
    if (!road.sync())
        state.SkipWithError("run failed");
    FirstRun run { std::chrono::duration<double>(Clock::now() - start).count(), road.requests() - requests };
    state.counters["client_peak_MiB"] = Bench::peakResidentMegabytes();
    state.counters["client_cpu_ms_per_file"] = (clientCPUSeconds() - clientCPU) * 1000 / double(files);
    state.counters["service_cpu_ms_per_file"] = (road.serviceCPUSeconds() - serviceCPU) * 1000 / double(files);
    state.SetIterationTime(run.seconds);
    state.counters["files_per_second"] = double(files) / run.seconds;
    state.counters["requests_per_file"] = double(run.requests) / double(files);
    auto walk = walkSeconds(road.cloud());
    state.counters["walk_seconds"] = walk;
    state.counters["ratio_to_walk"] = run.seconds / walk;
    return run;
}

// The plain exchanges' rate beside the road's, and the ratio of the two times.
void reportBaseline(benchmark::State& state, std::int64_t files, const FirstRun& run, std::optional<double> baseline)
{
    if (!baseline) {
        state.SkipWithError("plain exchanges failed");
        return;
    }
    state.counters["plain_files_per_second"] = double(files) / *baseline;
    state.counters["ratio_to_plain"] = run.seconds / *baseline;
}

std::vector<LocalCloud::SeedEntry> tree(std::int64_t files)
{
    std::vector<LocalCloud::SeedEntry> entries;
    for (std::int64_t folder = 0; folder * 100 < files; ++folder)
        entries.push_back({ "/F" + std::to_string(folder) + "/" });
    for (std::int64_t index = 0; index < files; ++index)
        entries.push_back({ pathOf(index), "content " + std::to_string(index) });
    return entries;
}

void ServiceSync_FirstSyncDown(benchmark::State& state)
{
    const auto files = state.range(0);
    for (auto _ : state) {
        Road road(baseFolder(state.range(1)), tree(files));
        if (!road.ready()) {
            state.SkipWithError("no service");
            return;
        }
        auto run = measureFirstRun(state, road, files);
        // An idle run over the synced tree.
        auto idleStart = Clock::now();
        road.sync();
        state.counters["idle_run_seconds"] = std::chrono::duration<double>(Clock::now() - idleStart).count();

        PlainExchanges plain(road.port());
        auto listing = plain.listing();
        if (!plain.loggedIn() || std::int64_t(listing.files.size()) != files) {
            state.SkipWithError("plain exchanges cannot start");
            return;
        }
        reportBaseline(state, files, run, plain.downloads(listing.files));
    }
}

// The order of placing before durability was asked for: every step of the
// placement as it is, but no sync.
class NoDiskSync final : public Platform::DiskSync {
public:
    std::expected<void, Platform::FileSystemError> syncFile(const std::string&) const override { return {}; }
    std::expected<void, Platform::FileSystemError> syncFolder(const std::string&) const override { return {}; }
};

// The system's syncs, counted and timed: how many the engine asks for, and
// how long its run waits in them.
class TimedDiskSync final : public Platform::DiskSync {
public:
    std::expected<void, Platform::FileSystemError> syncFile(const std::string& path) const override
    {
        return timed(m_fileSyncs, [&] { return Platform::DiskSync::syncFile(path); });
    }
    std::expected<void, Platform::FileSystemError> syncFolder(const std::string& path) const override
    {
        return timed(m_folderSyncs, [&] { return Platform::DiskSync::syncFolder(path); });
    }

    [[nodiscard]] std::size_t fileSyncs() const { return m_fileSyncs; }
    [[nodiscard]] std::size_t folderSyncs() const { return m_folderSyncs; }
    [[nodiscard]] double seconds() const { return double(m_nanoseconds) / 1e9; }

private:
    template<class Sync>
    std::expected<void, Platform::FileSystemError> timed(std::atomic<std::size_t>& count, Sync sync) const
    {
        auto start = Clock::now();
        auto result = sync();
        m_nanoseconds += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        ++count;
        return result;
    }

    mutable std::atomic<std::size_t> m_fileSyncs { 0 };
    mutable std::atomic<std::size_t> m_folderSyncs { 0 };
    mutable std::atomic<std::int64_t> m_nanoseconds { 0 };
};

// Seconds of `cp -r` of `folder` to a sibling (removed again), and of the
// same copy followed by a sync of its file system: the floor for writing the
// tree at all, and for writing it durably (one sync for the whole tree, where
// the engine must order each file's).
std::pair<double, double> copySeconds(const std::filesystem::path& folder)
{
    auto copy = folder.string() + "-copy";
    auto timed = [&](const std::string& command) {
        std::filesystem::remove_all(copy);
        auto start = Clock::now();
        if (std::system(command.c_str()) != 0)
            return -1.0;
        auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::filesystem::remove_all(copy);
        return seconds;
    };
    auto plain = timed("cp -r '" + folder.string() + "' '" + copy + "'");
    auto synced = timed("cp -r '" + folder.string() + "' '" + copy + "' && sync -f '" + copy + "'");
    return { plain, synced };
}

// The first sync down with every placed file and folder made durable (the
// system's syncs), against the same run without a sync, in the same process
// over an identical tree, interleaved (unsynced, durable, durable, unsynced)
// so that a shared machine's load weighs on both alike: "ratio_to_unsynced"
// of their sums; and the last durable run against `cp -r` of the tree it made
// ("ratio_to_cp"; "ratio_to_cp_synced" with one sync of the file system
// after the copy). "durable_extra_seconds" is what the syncs add per run,
// "sync_ms_per_file" how long a durable run waits in them.
void ServiceSync_FirstSyncDownDurable(benchmark::State& state)
{
    const auto files = state.range(0);
    for (auto _ : state) {
        double unsynced = 0;
        double durable = 0;
        auto unsyncedRun = [&]() -> bool {
            Road road(baseFolder(state.range(1)), tree(files), std::make_shared<NoDiskSync>());
            if (!road.ready())
                return false;
            auto start = Clock::now();
            if (!road.sync())
                return false;
            unsynced += std::chrono::duration<double>(Clock::now() - start).count();
            return true;
        };
        std::shared_ptr<TimedDiskSync> syncs;
        auto durableRun = [&](bool last) -> bool {
            syncs = std::make_shared<TimedDiskSync>();
            Road road(baseFolder(state.range(1)), tree(files), syncs);
            if (!road.ready())
                return false;
            auto run = measureFirstRun(state, road, files);
            durable += run.seconds;
            if (!last)
                return true;
            auto [copy, syncedCopy] = copySeconds(road.cloud());
            if (copy <= 0 || syncedCopy <= 0)
                return false;
            state.counters["cp_seconds"] = copy;
            state.counters["ratio_to_cp"] = run.seconds / copy;
            state.counters["cp_synced_seconds"] = syncedCopy;
            state.counters["ratio_to_cp_synced"] = run.seconds / syncedCopy;
            return true;
        };
        if (!unsyncedRun() || !durableRun(false) || !durableRun(true) || !unsyncedRun()) {
            state.SkipWithError("a run failed or had no service");
            return;
        }
        state.SetIterationTime(durable / 2);
        state.counters["files_per_second"] = double(files) * 2 / durable;
        state.counters["durable_seconds"] = durable / 2;
        state.counters["unsynced_seconds"] = unsynced / 2;
        state.counters["ratio_to_unsynced"] = durable / unsynced;
        state.counters["durable_extra_seconds"] = (durable - unsynced) / 2;
        // Where the difference goes: the run waits in each sync it asks for.
        state.counters["file_syncs_per_file"] = double(syncs->fileSyncs()) / double(files);
        state.counters["folder_syncs_per_file"] = double(syncs->folderSyncs()) / double(files);
        state.counters["sync_ms_per_file"] = syncs->seconds() * 1000 / double(files);
    }
}

// `files` small files of distinct content below `cloud`, in the benchmark's folder layout.
void writeSmallFiles(const std::filesystem::path& cloud, std::int64_t files)
{
    for (std::int64_t index = 0; index < files; ++index) {
        auto path = cloud / pathOf(index).substr(1);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "content " << index;
    }
}

void ServiceSync_FirstSyncUp(benchmark::State& state)
{
    const auto files = state.range(0);
    for (auto _ : state) {
        Road road(baseFolder(state.range(1)));
        if (!road.ready()) {
            state.SkipWithError("no service");
            return;
        }
        writeSmallFiles(road.cloud(), files);
        auto run = measureFirstRun(state, road, files);

        // As many new files, into a folder the run made.
        PlainExchanges plain(road.port());
        auto listing = plain.listing();
        if (!plain.loggedIn() || listing.firstFolder == 0) {
            state.SkipWithError("plain exchanges cannot start");
            return;
        }
        reportBaseline(state, files, run, plain.announcedUploads(listing.firstFolder, files));
    }
}

// Deleting every file of a synced tree locally, against uploading as many
// files (the baseline, measured in the same process): "ratio_to_upload".
void ServiceSync_MassDelete(benchmark::State& state)
{
    const auto files = state.range(0);
    for (auto _ : state) {
        double uploadSeconds = 0;
        {
            Road road(baseFolder(0));
            if (!road.ready()) {
                state.SkipWithError("no service");
                return;
            }
            writeSmallFiles(road.cloud(), files);
            auto start = Clock::now();
            if (!road.sync())
                state.SkipWithError("upload run failed");
            uploadSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        }
        Road road(baseFolder(0), tree(files));
        if (!road.ready() || !road.sync()) {
            state.SkipWithError("no service or no first run");
            return;
        }
        for (std::int64_t index = 0; index < files; ++index)
            std::filesystem::remove(road.cloud() / pathOf(index).substr(1));
        auto requests = road.requests();
        auto cpu = road.serviceCPUSeconds();
        auto start = Clock::now();
        if (!road.sync())
            state.SkipWithError("delete run failed");
        auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["files_per_second"] = double(files) / seconds;
        state.counters["requests_per_file"] = double(road.requests() - requests) / double(files);
        state.counters["service_cpu_seconds"] = road.serviceCPUSeconds() - cpu;
        state.counters["upload_seconds"] = uploadSeconds;
        state.counters["ratio_to_upload"] = seconds / uploadSeconds;
    }
}

} // namespace

// Arguments: the number of files, and 0 for the disk or 1 for tmpfs.
BENCHMARK(ServiceSync_FirstSyncDown)
    ->ArgNames({ "files", "tmpfs" })
    ->ArgsProduct({ { 1000, 10000, 50000, 100000 }, { 0, 1 } })
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(ServiceSync_FirstSyncDownDurable)
    ->ArgNames({ "files", "tmpfs" })
    ->ArgsProduct({ { 1000, 10000, 50000 }, { 0, 1 } })
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(ServiceSync_FirstSyncUp)
    ->ArgNames({ "files", "tmpfs" })
    ->ArgsProduct({ { 1000, 10000, 50000, 100000 }, { 0, 1 } })
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK(ServiceSync_MassDelete)->Arg(2000)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    // As the application sets up its allocator.
    Platform::limitAllocatorArenas();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
