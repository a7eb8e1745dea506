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
// seeded in-process first, over the same data folder), and its CPU time is
// read from /proc. In the first-sync cases the client runs in a process of
// its own too (the ServiceSyncClient program), as a command-line sync would:
// the peak memory it reports holds only what the client needs, not the
// seeding's or the harness's code and heap; both CPU times are reported per
// file. Every case runs on the disk (the temporary
// folder) and on tmpfs (/dev/shm): first-sync rates on the disk swing with
// its state, the tmpfs run shows the road without it.
//
// The 50,000- and 100,000-file cases take minutes; run them alone with, e.g.
//   ServiceSyncBenchmarks --benchmark_filter=/50000
// The million (tmpfs only, first sync down with its idle run, and up) runs
// only when named, as it takes about half an hour and some 12 GiB of tmpfs
// and memory: --benchmark_filter=files:1000000

#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "LocalCloud/TestSupport/LocalCloudProcess.hpp"
#include "DefaultFilter.hpp"
#include "PeakMemory.hpp"
#include "PlainRequest.hpp"
#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/ProcessMemory.hpp"
#include "Quarlink/Identity/Credentials.hpp"
#include "RoadClient.hpp"

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>


namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const Quarlink::Credentials user { Bench::roadUser, Bench::roadPassword };

// The service over a private folder: its data folder seeded in-process with
// the account and `seed`, then served by the `localcloud` program.
class Service {
public:
    explicit Service(const std::filesystem::path& base, const std::vector<LocalCloud::SeedEntry>& seed = {})
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
        m_process = std::make_unique<LocalCloud::Testing::LocalCloudProcess>(LOCALCLOUD_PROGRAM, m_folder / "data");
        if (!m_process->isRunning()) {
            m_process.reset();
            return;
        }
        // The service checks its tree before it listens: seconds at a million files.
        if (!m_process->waitUntilAccepting(5min))
            m_process.reset();
    }

    ~Service()
    {
        if (m_process)
            m_process->stop(SIGTERM);
        std::filesystem::remove_all(m_folder);
    }

    [[nodiscard]] bool running() const { return m_process != nullptr; }
    [[nodiscard]] const std::filesystem::path& folder() const { return m_folder; }
    [[nodiscard]] std::filesystem::path cloud() const { return m_folder / "Cloud"; }
    [[nodiscard]] int port() const { return m_process ? m_process->port() : 0; }
    [[nodiscard]] std::string baseURL() const { return m_process ? m_process->baseURL() : std::string(); }
    // The service's CPU time so far (user and system), in seconds.
    [[nodiscard]] double cpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(m_process ? m_process->pid() : 0) + "/stat");
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

private:
    std::filesystem::path m_folder;
    std::unique_ptr<LocalCloud::Testing::LocalCloudProcess> m_process;
};

// A fresh service, and the client over the same folder in this process.
class Road {
public:
    // `diskSync`: how the engine's disk store makes what it places durable (the system's when null).
    explicit Road(const std::filesystem::path& base, const std::vector<LocalCloud::SeedEntry>& seed = {},
        std::shared_ptr<const Platform::DiskSync> diskSync = nullptr)
        : m_service(base, seed)
    {
        if (m_service.running())
            m_client = std::make_unique<Bench::RoadClient>(m_service.folder(), m_service.baseURL(), std::move(diskSync));
    }

    [[nodiscard]] bool ready() const { return m_client && m_client->ready(); }
    [[nodiscard]] std::filesystem::path cloud() const { return m_service.cloud(); }
    [[nodiscard]] int port() const { return m_service.port(); }
    [[nodiscard]] double serviceCPUSeconds() const { return m_service.cpuSeconds(); }
    [[nodiscard]] std::size_t requests() const { return m_client->requests(); }
    bool sync() { return m_client->sync(); }

private:
    // Declared first, so the client is gone before the service stops.
    Service m_service;
    std::unique_ptr<Bench::RoadClient> m_client;
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

// A plain lstat walk of the same tree: each folder's entries read with
// getdents and every entry looked at with fstatat relative to its folder,
// no path resolved twice. What any scan of the tree must at least do.
std::size_t lstatWalk(int folder)
{
    DIR* stream = ::fdopendir(folder);
    if (!stream) {
        ::close(folder);
        return 0;
    }
    std::size_t items = 0;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat status {};
        if (::fstatat(::dirfd(stream), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        ++items;
        if (S_ISDIR(status.st_mode)) {
            const int child = ::openat(::dirfd(stream), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                items += lstatWalk(child);
        }
    }
    ::closedir(stream);
    return items;
}

double lstatWalkSeconds(const std::filesystem::path& folder)
{
    auto start = Clock::now();
    const int root = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root >= 0)
        benchmark::DoNotOptimize(lstatWalk(root));
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

// The rates of a timed first run, and the plain walks of the tree it made:
// "walk_seconds" the standard library's directory walk asking each file's
// size, "lstat_walk_seconds" the leaner fstatat walk.
void reportRun(benchmark::State& state, const FirstRun& run, std::int64_t files, const std::filesystem::path& cloud)
{
    state.SetIterationTime(run.seconds);
    state.counters["files_per_second"] = double(files) / run.seconds;
    state.counters["requests_per_file"] = double(run.requests) / double(files);
    auto walk = walkSeconds(cloud);
    state.counters["walk_seconds"] = walk;
    state.counters["ratio_to_walk"] = run.seconds / walk;
    state.counters["lstat_walk_seconds"] = lstatWalkSeconds(cloud);
}


// The idle runs after a first sync down: SERVICE_SYNC_IDLE_RUNS (1 unless
// set). With more than one, "idle_run_median_seconds" is their median beside
// the first's "idle_run_seconds".
int idleRuns()
{
    const char* value = std::getenv("SERVICE_SYNC_IDLE_RUNS");
    return value ? std::max(1, std::atoi(value)) : 1;
}

double median(std::vector<double> values)
{
    std::ranges::sort(values);
    const auto middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The idle runs' seconds, in order, after reportRun: the first ("idle_run_seconds") beside both walks, and with
// more than one their median.
void reportIdleRuns(benchmark::State& state, std::vector<double> idle)
{
    if (idle.empty())
        return;
    state.counters["idle_run_seconds"] = idle.front();
    state.counters["idle_ratio_to_walk"] = idle.front() / state.counters["walk_seconds"];
    state.counters["idle_ratio_to_lstat_walk"] = idle.front() / state.counters["lstat_walk_seconds"];
    if (idle.size() > 1)
        state.counters["idle_run_median_seconds"] = median(std::move(idle));
}

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
    reportRun(state, run, files, road.cloud());
    return run;
}

// The client's first sync in a process of its own (the ServiceSyncClient
// program over the service's folder), then `runs` - 1 idle runs: its figures
// as it printed them, and its whole life's peak as the kernel counted it
// (the wrapper's, when one runs it).
struct ClientProcess {
    std::map<std::string, double> figures;
    double maxResidentMiB = 0;
    bool succeeded = false;
};

ClientProcess runClientProcess(const Service& service, int runs)
{
    ClientProcess result;
    int output[2];
    if (::pipe(output) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    posix_spawn_file_actions_addclose(&actions, output[1]);
    // SERVICE_SYNC_CLIENT_WRAPPER, words before the program (a profiler: "heaptrack -o /tmp/client").
    std::vector<std::string> words;
    if (const char* wrapper = std::getenv("SERVICE_SYNC_CLIENT_WRAPPER")) {
        std::istringstream split(wrapper);
        for (std::string word; split >> word;)
            words.push_back(word);
    }
    words.insert(words.end(),
        { SERVICE_SYNC_CLIENT_PROGRAM, service.folder().string(), service.baseURL(), std::to_string(runs) });
    std::vector<char*> arguments;
    for (auto& word : words)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, arguments.front(), &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    std::string text;
    if (spawned == 0) {
        std::array<char, 4096> buffer {};
        for (ssize_t got; (got = ::read(output[0], buffer.data(), buffer.size())) > 0;)
            text.append(buffer.data(), std::size_t(got));
    }
    ::close(output[0]);
    if (spawned != 0)
        return result;
    int status = 0;
    rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child)
        return result;
    result.maxResidentMiB = double(usage.ru_maxrss) / 1024.0;
    std::istringstream lines(text);
    std::string name;
    double value = 0;
    while (lines >> name >> value)
        result.figures[name] = value;
    result.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0 && result.figures.contains("seconds");
    return result;
}

// Times the client's first run in its own process and reports it as measureFirstRun does; the peak
// memory is that process's own ("client_peak_MiB" at the end of the first run, "client_process_peak_MiB"
// over its whole life, idle runs included). Nothing when it failed.
std::optional<FirstRun> measureClientProcess(benchmark::State& state, const Service& service, std::int64_t files, int runs)
{
    auto serviceCPU = service.cpuSeconds();
    auto client = runClientProcess(service, runs);
    if (!client.succeeded) {
        state.SkipWithError("the client's run failed");
        return std::nullopt;
    }
    auto& figures = client.figures;
    FirstRun run { figures["seconds"], std::size_t(figures["requests"]) };
    state.counters["client_peak_MiB"] = figures["peak_MiB"];
    state.counters["client_process_peak_MiB"] = client.maxResidentMiB;
    state.counters["client_start_file_MiB"] = figures["start_file_MiB"];
    state.counters["client_start_anon_MiB"] = figures["start_anon_MiB"];
    state.counters["client_cpu_ms_per_file"] = figures["cpu_seconds"] * 1000 / double(files);
    state.counters["service_cpu_ms_per_file"] = (service.cpuSeconds() - serviceCPU) * 1000 / double(files);
    std::vector<double> idle;
    for (int later = 2; figures.contains("run" + std::to_string(later) + "_seconds"); ++later)
        idle.push_back(figures["run" + std::to_string(later) + "_seconds"]);
    reportRun(state, run, files, service.cloud());
    reportIdleRuns(state, std::move(idle));
    return run;
}

// With SERVICE_SYNC_IN_PROCESS=1 the first-sync cases run the client in the
// benchmark's own process, as they did before it had one of its own: its peak
// then holds the seeding's and the harness's code and heap too.
bool clientInProcess()
{
    const char* value = std::getenv("SERVICE_SYNC_IN_PROCESS");
    return value && std::string_view(value) == "1";
}

// A fresh service with `seed`, its cloud folder filled by `prepare`, and the
// client's first sync of it, timed and reported, then `runs` - 1 idle runs
// (the first of them reported); the client in a process of its own unless
// clientInProcess. The service stays for the case's baseline.
class FirstSync {
public:
    FirstSync(benchmark::State& state, const std::vector<LocalCloud::SeedEntry>& seed, std::int64_t files, int runs,
        const std::function<void(const std::filesystem::path&)>& prepare)
    {
        const auto base = baseFolder(state.range(1));
        if (clientInProcess()) {
            auto& road = m_road.emplace(base, seed);
            if (!road.ready()) {
                state.SkipWithError("no service");
                return;
            }
            prepare(road.cloud());
            m_run = measureFirstRun(state, road, files);
            std::vector<double> idle;
            for (int run = 1; run < runs; ++run) {
                auto idleStart = Clock::now();
                road.sync();
                idle.push_back(std::chrono::duration<double>(Clock::now() - idleStart).count());
            }
            reportIdleRuns(state, std::move(idle));
            return;
        }
        auto& service = m_service.emplace(base, seed);
        if (!service.running()) {
            state.SkipWithError("no service");
            return;
        }
        prepare(service.cloud());
        m_run = measureClientProcess(state, service, files, runs);
    }

    // Nothing when the case was skipped.
    [[nodiscard]] const std::optional<FirstRun>& run() const { return m_run; }
    [[nodiscard]] int port() const { return m_road ? m_road->port() : m_service->port(); }

private:
    std::optional<Road> m_road;
    std::optional<Service> m_service;
    std::optional<FirstRun> m_run;
};

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
        // With an idle run over the synced tree.
        FirstSync sync(state, tree(files), files, 1 + idleRuns(), [](const std::filesystem::path&) { });
        if (!sync.run())
            return;

        PlainExchanges plain(sync.port());
        auto listing = plain.listing();
        if (!plain.loggedIn() || std::int64_t(listing.files.size()) != files) {
            state.SkipWithError("plain exchanges cannot start");
            return;
        }
        reportBaseline(state, files, *sync.run(), plain.downloads(listing.files));
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
        FirstSync sync(state, {}, files, 1, [files](const std::filesystem::path& cloud) { writeSmallFiles(cloud, files); });
        if (!sync.run())
            return;

        // As many new files, into a folder the run made.
        PlainExchanges plain(sync.port());
        auto listing = plain.listing();
        if (!plain.loggedIn() || listing.firstFolder == 0) {
            state.SkipWithError("plain exchanges cannot start");
            return;
        }
        reportBaseline(state, files, *sync.run(), plain.announcedUploads(listing.firstFolder, files));
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
    ->Args({ 1'000'000, 1 })
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
    ->Args({ 1'000'000, 1 })
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK(ServiceSync_MassDelete)->Arg(2000)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    // As the application sets up its allocator.
    Platform::limitAllocatorArenas();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // The million is only run when asked for by name.
    std::string everythingButTheMillion = "--benchmark_filter=-files:1000000/";
    auto arguments = Bench::withDefaultFilter(argc, argv, everythingButTheMillion);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
