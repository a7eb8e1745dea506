// The sync stores under the engine's bulk work: marking 100,000 files' status
// in one transaction, storing 100,000 records (one transaction each, as the
// engine stores them one change at a time), and reading the whole stored
// state back. Reports records per second and the process's peak resident
// memory so far (run one benchmark alone with --benchmark_filter for its own peak).

#include "Platform/Database/CloudDatabaseSchema.hpp"
#include "Platform/Foundation/PathString.hpp"
#include "Reactive/Schedulers/ImmediateScheduler.hpp"
#include "Sync/Status/RealmFileSyncStatusStore.hpp"
#include "Sync/Store/RealmFileStore.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/resource.h>

using namespace Sync;

namespace {

// STORE_BENCH_FILES overrides the count for a quick run.
std::int64_t fileCount = std::getenv("STORE_BENCH_FILES") ? std::atoll(std::getenv("STORE_BENCH_FILES")) : 100000;

class ScratchDatabase {
public:
    ScratchDatabase()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvella-store-bench-XXXXXX").string();
        m_directory = ::mkdtemp(pattern.data());
    }
    ~ScratchDatabase() { std::filesystem::remove_all(m_directory); }
    Platform::DatabaseFactory factory() const
    {
        return Platform::Database::factory(Platform::cloudDatabaseConfiguration(m_directory / "Cloud.realm"));
    }

private:
    std::filesystem::path m_directory;
};

void reportPeakMemory(benchmark::State& state)
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peakRSS_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::vector<FileRef> makeFiles()
{
    std::vector<FileRef> files;
    files.reserve(fileCount);
    for (std::int64_t id = 1; id <= fileCount; ++id) {
        std::string path = "/Projekt ";
        path += std::to_string(id / 100);
        path += "/Datei ";
        path += std::to_string(id);
        path += ".pdf";
        auto name = Platform::lastPathComponent(path);
        files.push_back(std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
            .syncFileID = SyncFileID(id),
            .path = path,
            .fileName = name,
            .syncParentID = SyncFileID(id / 100),
            .lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(1700000000),
            .syncEtag = std::string("\"etag-") + std::to_string(id) + '"',
            .type = FileType::file("application/pdf"),
            .fileHash = "0123456789abcdef0123456789abcdef01234567"
        }));
    }
    return files;
}

void markStatusOfAllFilesInOneTransaction(benchmark::State& state)
{
    ScratchDatabase scratch;
    RealmFileSyncStatusStore store(scratch.factory(), Reactive::ImmediateScheduler::shared());
    auto files = makeFiles();
    auto cloud = Platform::URL::fileURL("/home/nutzer/Cloud", Platform::URL::IsDirectory::Yes);
    auto status = FileSyncStatus::syncing;
    for (auto _ : state) {
        store.mark(files, status, cloud);
        status = status == FileSyncStatus::syncing ? FileSyncStatus::upToDate : FileSyncStatus::syncing;
    }
    state.SetItemsProcessed(state.iterations() * fileCount);
    reportPeakMemory(state);
}

void storeRecordsOneByOne(benchmark::State& state)
{
    auto files = makeFiles();
    for (auto _ : state) {
        state.PauseTiming();
        ScratchDatabase scratch;
        RealmFileStore store(scratch.factory(), Reactive::ImmediateScheduler::shared());
        state.ResumeTiming();
        for (const auto& file : files)
            store.add(*file);
    }
    state.SetItemsProcessed(state.iterations() * fileCount);
    reportPeakMemory(state);
}

void readWholeStoredState(benchmark::State& state)
{
    ScratchDatabase scratch;
    RealmFileStore store(scratch.factory(), Reactive::ImmediateScheduler::shared());
    auto files = makeFiles();
    for (const auto& file : files)
        store.add(*file);
    for (auto _ : state) {
        auto stored = store.files();
        if (stored.size() != static_cast<std::size_t>(fileCount))
            state.SkipWithError("read back fewer records than stored");
        benchmark::DoNotOptimize(stored);
    }
    state.SetItemsProcessed(state.iterations() * fileCount);
    reportPeakMemory(state);
}

} // namespace

BENCHMARK(markStatusOfAllFilesInOneTransaction)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(storeRecordsOneByOne)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(readWholeStoredState)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
