// Measures the disk file store's scan of a cloud folder: 50,000 small files in
// 250 folders plus three 64 MiB files, made once below $TMPDIR. A cold scan
// starts with an empty content-hash cache and reads every file; an unchanged
// re-scan answers every hash from the cache. `sha1sum` over the same files
// (find | xargs) is the yardstick for the cold scan. The page cache is warm
// for all three. peakRSS_MiB is the process's peak so far. ORVELLA_SCAN_TREE
// names an existing tree to scan instead (for profiling); it is not removed.
#include "Reactive/MutableProperty.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

using namespace Sync;

namespace {

constexpr int folderCount = 250;
constexpr int filesPerFolder = 200;
constexpr int largeFileCount = 3;
constexpr std::size_t largeFileSize = 64 * 1024 * 1024;

class Tree {
public:
    Tree()
    {
        // A tree left by an earlier run may be named for profiling; it is kept.
        if (const char* existing = std::getenv("ORVELLA_SCAN_TREE"); existing && std::filesystem::exists(existing)) {
            m_root = existing;
            m_owned = false;
            return;
        }
        const char* temporary = std::getenv("TMPDIR");
        std::string pattern = std::string(temporary != nullptr ? temporary : "/tmp") + "/orvella-scan-XXXXXX";
        m_root = ::mkdtemp(pattern.data());
        const char* extensions[] = { ".txt", ".jpg", ".pdf", ".docx", ".tar.gz" };
        std::string content;
        for (int folder = 0; folder < folderCount; ++folder) {
            std::string directory = m_root + "/folder" + std::to_string(folder);
            std::filesystem::create_directory(directory);
            for (int file = 0; file < filesPerFolder; ++file) {
                // Between 100 bytes and 4 KiB, different in every file.
                content.assign(100 + (file * 37 + folder * 11) % 4000, static_cast<char>('a' + file % 26));
                content += std::to_string(folder * filesPerFolder + file);
                std::ofstream(directory + "/file" + std::to_string(file) + extensions[file % 5]) << content;
            }
        }
        std::string block(1024 * 1024, 'L');
        for (int index = 0; index < largeFileCount; ++index) {
            std::ofstream large(m_root + "/large" + std::to_string(index) + ".bin");
            for (std::size_t written = 0; written < largeFileSize; written += block.size()) {
                block[written / block.size() % block.size()] = static_cast<char>(index);
                large << block;
            }
        }
        // The cache remembers only files whose last change lies two seconds
        // back; a real cloud folder's files are older than that.
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    }
    ~Tree()
    {
        if (m_owned)
            std::filesystem::remove_all(m_root);
    }
    const std::string& root() const { return m_root; }

private:
    std::string m_root;
    bool m_owned = true;
};

const Tree& tree()
{
    static const Tree instance;
    return instance;
}

class Configuration final : public FileSystemFileStoreConfiguration {
public:
    explicit Configuration(const std::string& folder)
        : m_folder(Platform::URL::fileURL(folder, Platform::URL::IsDirectory::Yes))
    {
    }
    Reactive::Property<bool> movesToTrash() const override { return m_trash.property(); }
    Reactive::Property<Platform::URL> folderURL() const override { return m_folder.property(); }

private:
    Reactive::MutableProperty<bool> m_trash { false };
    Reactive::MutableProperty<Platform::URL> m_folder;
};

std::size_t scanOnce(const FileSystemFileStore& store)
{
    std::size_t count = 0;
    store.files().startWithValues([&count](const std::vector<FileRef>& files) { count = files.size(); });
    return count;
}

void report(benchmark::State& state, std::size_t items)
{
    struct rusage usage { };
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peakRSS_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["items"] = static_cast<double>(items);
}

// `sha1sum` over every file of the tree, in `processes` processes at once; the seconds it took.
double sha1sumSeconds(int processes)
{
    std::string command = "find '" + tree().root() + "' -type f -print0 | xargs -0 -P " + std::to_string(processes)
        + " -n 512 sha1sum > /dev/null";
    std::vector<char*> argv { const_cast<char*>("sh"), const_cast<char*>("-c"), command.data(), nullptr };
    const auto started = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (::posix_spawnp(&child, "sh", nullptr, nullptr, argv.data(), environ) != 0)
        return 0;
    int status = 0;
    ::waitpid(child, &status, 0);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// The cold scan, with `sha1sum` of the same files in one and in eight
// processes timed in the same process as baselines ("x sha1sum" and
// "x sha1sum -P8" are the ratios).
void coldScan(benchmark::State& state)
{
    auto configuration = std::make_shared<Configuration>(tree().root());
    std::size_t items = 0;
    double scanSeconds = 0, oneProcess = 0, eightProcesses = 0;
    for (auto _ : state) {
        FileSystemFileStore store(configuration, nullptr, ContentHashCache::create());
        const auto started = std::chrono::steady_clock::now();
        items = scanOnce(store);
        scanSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        state.PauseTiming();
        oneProcess += sha1sumSeconds(1);
        eightProcesses += sha1sumSeconds(8);
        state.ResumeTiming();
    }
    report(state, items);
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["sha1sum ms"] = oneProcess * 1000 / iterations;
    state.counters["sha1sum -P8 ms"] = eightProcesses * 1000 / iterations;
    state.counters["x sha1sum"] = oneProcess > 0 ? scanSeconds / oneProcess : 0;
    state.counters["x sha1sum -P8"] = eightProcesses > 0 ? scanSeconds / eightProcesses : 0;
}
BENCHMARK(coldScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void unchangedScan(benchmark::State& state)
{
    auto configuration = std::make_shared<Configuration>(tree().root());
    auto cache = ContentHashCache::create();
    FileSystemFileStore store(configuration, nullptr, cache);
    scanOnce(store);
    auto readsBefore = cache->readCount();
    std::size_t items = 0;
    for (auto _ : state)
        items = scanOnce(store);
    report(state, items);
    state.counters["filesRead"] = static_cast<double>(cache->readCount() - readsBefore);
}
BENCHMARK(unchangedScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void sha1sumOfTheSameFiles(benchmark::State& state)
{
    std::string command = "find '" + tree().root() + "' -type f -print0 | xargs -0 sha1sum > /dev/null";
    for (auto _ : state) {
        std::vector<char*> argv { const_cast<char*>("sh"), const_cast<char*>("-c"), command.data(), nullptr };
        pid_t child = 0;
        if (::posix_spawnp(&child, "sh", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("sh could not be started");
            return;
        }
        int status = 0;
        ::waitpid(child, &status, 0);
    }
}
BENCHMARK(sha1sumOfTheSameFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
