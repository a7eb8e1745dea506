// Whole sync runs on real components (a temporary cloud folder, the SQLite
// stores, extended attributes) against the in-memory server:
// - the first sync up and the first sync down of many small files (files per
//   second, and the process's peak resident memory during the run);
// - an idle run over a tree that is already in step (time per run), beside a
//   plain lstat walk of the same tree in the same process (the baseline; the
//   counter "x walk" is the ratio of the medians of the runs and of the walks,
//   "run ms" the median run). The first idle run after the first sync is
//   timed apart ("first ms", "first x walk"): it reads every item's binding,
//   as the first run of a freshly started engine does. Memory:
//   the peak resident memory of the process ("peak MiB"), the part of it the
//   idle runs added ("run MiB"), and all the engine holds at its peak, what
//   it keeps between runs included ("engine MiB": the peak less what the
//   process held before the first sync, the server double with its items).
// - the growth with size (`scale`, up to a million files): one process per
//   size does the first sync down, an idle run beside the walk, and the first
//   sync up of the same tree into a fresh engine and server; each step's
//   seconds, files per second and microseconds per file, and the peak
//   resident memory each first sync added to the process ("down MiB",
//   "up MiB", also per file in bytes). Only selected by name, as the million
//   takes about half an hour: --benchmark_filter=scale/1000000.
// Each benchmark builds its tree outside the timed part. Run one benchmark
// per process (--benchmark_filter) for a peak memory that is its own.

#include "DefaultFilter.hpp"
#include "PeakMemory.hpp"
#include "Platform/Foundation/ProcessMemory.hpp"
#include "Sync/TestSupport/TestCloud.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Sync::Testing::TestCloud;

constexpr int filesPerFolder = 100;

std::string pathOf(int index)
{
    return "/Folder" + std::to_string(index / filesPerFolder) + "/file" + std::to_string(index) + ".txt";
}

// The resident memory now, in MiB.
double residentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:"))
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

void reportRun(benchmark::State& state, const TestCloud::RunResult& run, int files)
{
    if (!run.completed) {
        state.SkipWithError("the run did not complete");
    }
    state.counters["files/s"] = benchmark::Counter(files, benchmark::Counter::kIsRate);
    state.counters["peak MiB"] = Bench::peakResidentMegabytes();
}

void firstSyncUp(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto cloud = std::make_unique<TestCloud>();
        for (int index = 0; index < files; ++index) {
            cloud->writeFile(pathOf(index), "content of file " + std::to_string(index));
        }
        Bench::resetPeakResident();
        state.ResumeTiming();

        auto run = cloud->sync(std::chrono::minutes(30));

        state.PauseTiming();
        reportRun(state, run, files);
        cloud.reset();
        state.ResumeTiming();
    }
}

void firstSyncDown(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto cloud = std::make_unique<TestCloud>();
        for (int index = 0; index < files; ++index) {
            cloud->server->addFile(pathOf(index), "content of file " + std::to_string(index));
        }
        Bench::resetPeakResident();
        state.ResumeTiming();

        auto run = cloud->sync(std::chrono::minutes(30));

        state.PauseTiming();
        reportRun(state, run, files);
        cloud.reset();
        state.ResumeTiming();
    }
}

// Every item below `folder` looked at once: what any scan must at least do.
std::size_t lstatWalk(const std::string& folder)
{
    std::size_t items = 0;
    std::vector<std::string> pending { folder };
    while (!pending.empty()) {
        auto directory = std::move(pending.back());
        pending.pop_back();
        DIR* stream = ::opendir(directory.c_str());
        if (!stream) {
            continue;
        }
        while (auto* entry = ::readdir(stream)) {
            std::string_view name(entry->d_name);
            if (name == "." || name == "..") {
                continue;
            }
            auto path = directory + "/" + entry->d_name;
            struct stat status {};
            if (::lstat(path.c_str(), &status) == 0) {
                ++items;
                if (S_ISDIR(status.st_mode)) {
                    pending.push_back(std::move(path));
                }
            }
        }
        ::closedir(stream);
    }
    return items;
}

double secondsOfWalk(const std::string& folder)
{
    const auto started = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(lstatWalk(folder));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void idleRun(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    // The application's interval for trusting a change stamp.
    TestCloud cloud(TestCloud::Settings { .bindingRacyInterval = Sync::BindingMemo::Options {}.racyInterval });
    for (int index = 0; index < files; ++index) {
        cloud.server->addFile(pathOf(index), "content of file " + std::to_string(index));
    }
    const double residentWithoutEngine = residentMiB();
    if (!cloud.sync(std::chrono::minutes(60)).completed) {
        state.SkipWithError("the first sync did not complete");
        return;
    }
    // An idle run finds a tree that has been in step for a while: nothing
    // changed within the interval in which the engine trusts no change stamp.
    std::this_thread::sleep_for(Sync::BindingMemo::Options {}.racyInterval);
    Bench::resetPeakResident();
    // What the process holds before the idle runs (the server double with its
    // items, the test's tree, the libraries, what the engine keeps between
    // runs); the runs' own share is the rest.
    const double residentBefore = residentMiB();
    auto timedRun = [&] {
        const auto started = std::chrono::steady_clock::now();
        auto run = cloud.sync(std::chrono::minutes(30));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (!run.completed || !run.events.empty()) {
            state.SkipWithError("the idle run was not idle");
        }
        return seconds;
    };
    const double firstSeconds = timedRun();
    const double firstWalkSeconds = secondsOfWalk(cloud.cloudFolder());
    std::vector<double> runSeconds;
    std::vector<double> walkSeconds;
    for (auto _ : state) {
        runSeconds.push_back(timedRun());
        state.PauseTiming();
        walkSeconds.push_back(secondsOfWalk(cloud.cloudFolder()));
        state.ResumeTiming();
    }
    // A busy machine slows a single run or walk now and then: the medians say what is typical.
    auto median = [](std::vector<double> values) {
        std::ranges::sort(values);
        const auto middle = values.size() / 2;
        return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    };
    const double runMedian = runSeconds.empty() ? 0 : median(runSeconds);
    const double walkMedian = walkSeconds.empty() ? 0 : median(walkSeconds);
    state.counters["peak MiB"] = Bench::peakResidentMegabytes();
    state.counters["run MiB"] = Bench::peakResidentMegabytes() - residentBefore;
    state.counters["engine MiB"] = Bench::peakResidentMegabytes() - residentWithoutEngine;
    state.counters["first ms"] = firstSeconds * 1000;
    state.counters["first x walk"] = firstWalkSeconds > 0 ? firstSeconds / firstWalkSeconds : 0;
    state.counters["run ms"] = runMedian * 1000;
    state.counters["walk ms"] = walkMedian * 1000;
    state.counters["x walk"] = walkMedian > 0 ? runMedian / walkMedian : 0;
}

// The tree's growth from 10k to a million files, each step once.
void scale(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    auto perFile = [&](const std::string& step, double seconds) {
        state.counters[step + " s"] = seconds;
        state.counters[step + " files/s"] = seconds > 0 ? files / seconds : 0;
        state.counters[step + " us/file"] = seconds * 1e6 / files;
    };
    auto timed = [](TestCloud& cloud) {
        const auto started = std::chrono::steady_clock::now();
        auto run = cloud.sync(std::chrono::hours(3));
        return std::pair(run, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    };
    for (auto _ : state) {
        {
            TestCloud cloud(TestCloud::Settings { .bindingRacyInterval = Sync::BindingMemo::Options {}.racyInterval });
            for (int index = 0; index < files; ++index) {
                cloud.server->addFile(pathOf(index), "content of file " + std::to_string(index));
            }
            Bench::resetPeakResident();
            const double before = residentMiB();
            auto [down, downSeconds] = timed(cloud);
            if (!down.completed) {
                state.SkipWithError("the first sync down did not complete");
                return;
            }
            perFile("down", downSeconds);
            state.counters["down MiB"] = Bench::peakResidentMegabytes() - before;
            state.counters["down B/file"] = (Bench::peakResidentMegabytes() - before) * 1024 * 1024 / files;
            std::this_thread::sleep_for(Sync::BindingMemo::Options {}.racyInterval);
            auto [idle, idleSeconds] = timed(cloud);
            if (!idle.completed || !idle.events.empty()) {
                state.SkipWithError("the idle run was not idle");
            }
            perFile("idle", idleSeconds);
            const double walk = secondsOfWalk(cloud.cloudFolder());
            state.counters["walk s"] = walk;
            state.counters["idle x walk"] = walk > 0 ? idleSeconds / walk : 0;
        }
        TestCloud cloud;
        for (int index = 0; index < files; ++index) {
            cloud.writeFile(pathOf(index), "content of file " + std::to_string(index));
        }
        Bench::resetPeakResident();
        const double before = residentMiB();
        auto [up, upSeconds] = timed(cloud);
        if (!up.completed) {
            state.SkipWithError("the first sync up did not complete");
            return;
        }
        perFile("up", upSeconds);
        state.counters["up MiB"] = Bench::peakResidentMegabytes() - before;
        state.counters["up B/file"] = (Bench::peakResidentMegabytes() - before) * 1024 * 1024 / files;
    }
}

} // namespace

BENCHMARK(firstSyncUp)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(firstSyncDown)->Arg(10'000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(idleRun)
    ->Arg(10'000)
    ->Arg(50'000)
    ->Arg(100'000)
    ->Arg(200'000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(scale)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(200'000)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

int main(int argc, char** argv)
{
    // As the application sets up its allocator.
    Platform::limitAllocatorArenas();
    // The million is only run when asked for by name: it takes about half an hour.
    std::string everythingButTheMillion = "--benchmark_filter=-scale/1000000";
    auto arguments = Bench::withDefaultFilter(argc, argv, everythingButTheMillion);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
