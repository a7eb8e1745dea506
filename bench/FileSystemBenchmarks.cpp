// Measures the file-system layer's share of a scan of the cloud folder: the
// fts walk with one lstat per item, the content-hash keys an unchanged re-scan
// compares instead of reading files, MIME lookups by name and path resolution.
// The tree has 50,000 small files in 250 folders, made once below $TMPDIR.
#include "Platform/FileSystem/ContentHashKey.hpp"
#include "Platform/FileSystem/DirectoryEnumerator.hpp"
#include "AllocationCounter.hpp"
#include "Platform/FileSystem/MimeTypeDatabase.hpp"
#include "Platform/FileSystem/PathResolver.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unordered_map>
#include <vector>

using namespace Platform;

namespace {

constexpr int folderCount = 250;
constexpr int filesPerFolder = 200;

class Tree {
public:
    Tree()
    {
        char const* temporary = std::getenv("TMPDIR");
        std::string pattern = std::string(temporary != nullptr ? temporary : "/tmp") + "/orvella-bench-XXXXXX";
        m_root = ::mkdtemp(pattern.data());
        char const* extensions[] = {".txt", ".jpg", ".pdf", ".docx", ".tar.gz"};
        for (int folder = 0; folder < folderCount; ++folder) {
            std::string const directory = m_root + "/folder" + std::to_string(folder);
            std::filesystem::create_directory(directory);
            for (int file = 0; file < filesPerFolder; ++file) {
                std::ofstream(directory + "/file" + std::to_string(file) + extensions[file % 5]) << "content " << file;
            }
        }
    }
    ~Tree() { std::filesystem::remove_all(m_root); }
    const std::string& root() const { return m_root; }

private:
    std::string m_root;
};

const Tree& tree()
{
    static Tree const instance;
    return instance;
}

void reportPeakMemory(benchmark::State& state)
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peakRSS_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void walkTree(benchmark::State& state)
{
    auto const& root = tree().root();
    std::size_t items = 0;
    for (auto _ : state) {
        auto enumerator = DirectoryEnumerator::open(root);
        while (auto entry = enumerator->next()) {
            benchmark::DoNotOptimize(entry->status.size);
            ++items;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(items));
    reportPeakMemory(state);
}
BENCHMARK(walkTree)->Unit(benchmark::kMillisecond);

// What an unchanged re-scan costs in this layer: walk, key, and find the key.
void walkAndMatchContentHashKeys(benchmark::State& state)
{
    auto const& root = tree().root();
    std::unordered_map<ContentHashKey, std::string> cache;
    auto enumerator = DirectoryEnumerator::open(root);
    while (auto entry = enumerator->next()) {
        if (entry->status.isRegularFile()) {
            cache.emplace(ContentHashKey::from(entry->status), std::string(40, '0'));
        }
    }
    std::size_t hits = 0;
    for (auto _ : state) {
        auto walk = DirectoryEnumerator::open(root);
        while (auto entry = walk->next()) {
            if (entry->status.isRegularFile()) {
                hits += cache.count(ContentHashKey::from(entry->status));
            }
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(hits));
    reportPeakMemory(state);
}
BENCHMARK(walkAndMatchContentHashKeys)->Unit(benchmark::kMillisecond);

void lookUpMimeTypes(benchmark::State& state)
{
    auto const& database = MimeTypeDatabase::shared();
    std::vector<std::string> const names = {"Bericht.pdf", "IMG_2041.JPG", "backup.tar.gz", "Makefile",
                                            "notes.txt", "unknown.zzqx", "Präsentation.pptx", "libfoo.so.1"};
    std::size_t index = 0;
    auto allocations = Bench::allocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(database.mimeType(names[index++ % names.size()]));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    // The result's own text aside (long MIME types do not fit in a string's
    // inline room), a lookup should cost no allocation.
    state.counters["allocs/lookup"] = static_cast<double>(Bench::allocationCount() - allocations)
        / static_cast<double>(state.iterations());
}
BENCHMARK(lookUpMimeTypes);

void resolvePaths(benchmark::State& state)
{
    PathResolver const resolver(tree().root());
    for (auto _ : state) {
        benchmark::DoNotOptimize(resolver.resolve("/folder42/file117.txt"));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(resolvePaths);

}  // namespace

BENCHMARK_MAIN();
