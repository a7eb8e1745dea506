// The database layer under the stores' bulk work: 100,000 stored records
// written in one transaction and read back, 100,000 statuses marked and reset
// in one transaction each, and the cost of opening a handle per operation. Reports rows per second and the process's
// peak resident memory so far (a high-water mark across the benchmarks run
// before it, so run one with --benchmark_filter to see its own peak).

#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Platform/Database/Database.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/resource.h>

using namespace Platform;

namespace {

constexpr std::int64_t rowCount = 100000;

struct StoredFile {
    std::int64_t remoteFileID = 0;
    std::string path;
    DatabaseBlob fileData;
    static constexpr std::string_view objectTypeName = "FileWrapper";
    static constexpr auto properties()
    {
        return std::tuple {DatabaseProperty {"remoteFileID", &StoredFile::remoteFileID},
            DatabaseProperty {"path", &StoredFile::path}, DatabaseProperty {"fileData", &StoredFile::fileData}};
    }
};

struct StoredStatus {
    std::string filePath;
    std::int64_t status = 0;
    static constexpr std::string_view objectTypeName = "FileStatus";
    static constexpr auto properties()
    {
        return std::tuple {DatabaseProperty {"filePath", &StoredStatus::filePath},
            DatabaseProperty {"status", &StoredStatus::status}};
    }
};

class ScratchDatabase {
public:
    ScratchDatabase()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvella-bench-XXXXXX").string();
        m_directory = ::mkdtemp(pattern.data());
    }
    ~ScratchDatabase() { std::filesystem::remove_all(m_directory); }
    DatabaseConfiguration configuration() const { return Sync::cloudDatabaseConfiguration(m_directory / "Cloud.realm"); }

private:
    std::filesystem::path m_directory;
};

void reportPeakMemory(benchmark::State& state)
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peakRSS_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// About the size of an archived record of a file with its share details.
StoredFile record(std::int64_t id)
{
    auto path = "/Dokumente/Projekt " + std::to_string(id / 100) + "/Datei " + std::to_string(id) + ".pdf";
    return {id, path, DatabaseBlob(600, static_cast<std::uint8_t>(id))};
}

void writeRecords(Database& database, benchmark::State& state)
{
    auto written = database.write([&]() -> std::expected<void, DatabaseError> {
        for (std::int64_t id = 1; id <= rowCount; ++id) {
            if (auto added = database.add(record(id)); !added)
                return added;
        }
        return {};
    });
    if (!written)
        state.SkipWithError(written.error().description().c_str());
}

void storeRecordsInOneTransaction(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        ScratchDatabase scratch;
        auto database = Database::open(scratch.configuration());
        state.ResumeTiming();
        writeRecords(*database, state);
    }
    state.SetItemsProcessed(state.iterations() * rowCount);
    reportPeakMemory(state);
}

void readAllRecordsBack(benchmark::State& state)
{
    ScratchDatabase scratch;
    auto database = Database::open(scratch.configuration());
    writeRecords(*database, state);
    for (auto _ : state) {
        auto reader = Database::open(scratch.configuration());
        auto records = reader->objects<StoredFile>();
        if (!records || records->size() != rowCount)
            state.SkipWithError("read back fewer records than written");
        benchmark::DoNotOptimize(records);
    }
    state.SetItemsProcessed(state.iterations() * rowCount);
    reportPeakMemory(state);
}

void markStatusesInOneTransaction(benchmark::State& state)
{
    ScratchDatabase scratch;
    auto database = Database::open(scratch.configuration());
    std::int64_t status = 1;
    for (auto _ : state) {
        auto written = database->write([&]() -> std::expected<void, DatabaseError> {
            for (std::int64_t id = 1; id <= rowCount; ++id) {
                auto path = "/home/nutzer/Cloud/Projekt " + std::to_string(id / 100) + "/Datei " + std::to_string(id);
                if (auto added = database->add(StoredStatus {std::move(path), status}); !added)
                    return added;
            }
            return {};
        });
        if (!written)
            state.SkipWithError(written.error().description().c_str());
        status = status == 1 ? 2 : 1;
    }
    state.SetItemsProcessed(state.iterations() * rowCount);
    reportPeakMemory(state);
}

void resetSyncingStatusesInOneUpdate(benchmark::State& state)
{
    ScratchDatabase scratch;
    auto database = Database::open(scratch.configuration());
    for (auto _ : state) {
        state.PauseTiming();
        auto marked = database->write([&]() -> std::expected<void, DatabaseError> {
            for (std::int64_t id = 1; id <= rowCount; ++id) {
                if (auto added = database->add(StoredStatus {"/c/" + std::to_string(id), 1}); !added)
                    return added;
            }
            return {};
        });
        state.ResumeTiming();
        auto reset = database->write([&]() -> std::expected<void, DatabaseError> {
            auto changed = database->update<StoredStatus>("status", std::int64_t {0},
                DatabaseQuery::equal("status", std::int64_t {1}));
            if (!changed)
                return std::unexpected(changed.error());
            return {};
        });
        if (!marked || !reset)
            state.SkipWithError("marking or resetting failed");
    }
    state.SetItemsProcessed(state.iterations() * rowCount);
    reportPeakMemory(state);
}

// The stores open a handle at the start of every operation, so opening is on
// every path: one open plus one lookup by primary key.
void openHandleAndLookUpOneRecord(benchmark::State& state)
{
    ScratchDatabase scratch;
    auto database = Database::open(scratch.configuration());
    writeRecords(*database, state);
    std::int64_t id = 1;
    for (auto _ : state) {
        auto handle = Database::open(scratch.configuration());
        auto found = handle->object<StoredFile>(id);
        if (!found || !found->has_value())
            state.SkipWithError("record missing");
        id = id % rowCount + 1;
    }
    state.SetItemsProcessed(state.iterations());
    reportPeakMemory(state);
}

} // namespace

BENCHMARK(storeRecordsInOneTransaction)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(readAllRecordsBack)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(markStatusesInOneTransaction)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(resetSyncingStatusesInOneUpdate)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(openHandleAndLookUpOneRecord)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
