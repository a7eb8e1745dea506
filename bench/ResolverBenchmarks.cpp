// Cost of the dependency container on its hot path: a transient resolved from
// eight threads at once (the stores resolve their database at every access),
// measured beside a plain `std::make_shared` of the same object in the same
// threads, with the ratio of the two.

#include "Orvella/Resolver/Binder.hpp"
#include "Orvella/Resolver/Resolver.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace Orvella;

namespace {

struct Configuration {
    std::string path = "/tmp/Cloud.db";
};

struct Connection {
    explicit Connection(std::shared_ptr<Configuration> configuration) : configuration(std::move(configuration)) {}
    std::shared_ptr<Configuration> configuration;
};

class BenchmarkModule final : public Module {
public:
    void configure(Binder& binder) override
    {
        binder.bind<Configuration>(Scope::single);
        binder.bind<Connection, Connection, Configuration>(Scope::transient);
    }
};

Resolver& sharedResolver()
{
    static Resolver resolver({std::make_shared<BenchmarkModule>()});
    return resolver;
}

using Clock = std::chrono::steady_clock;

// Runs `measured` and `baseline` in alternating batches in every thread, so
// both see the same load, and reports nanoseconds per call of each and their ratio.
template<class Measured, class Baseline>
void compare(benchmark::State& state, Measured measured, Baseline baseline)
{
    constexpr int batch = 256;
    Clock::duration measuredTime {};
    Clock::duration baselineTime {};
    long long calls = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int index = 0; index < batch; ++index) {
            benchmark::DoNotOptimize(measured());
        }
        const auto middle = Clock::now();
        for (int index = 0; index < batch; ++index) {
            benchmark::DoNotOptimize(baseline());
        }
        const auto end = Clock::now();
        measuredTime += middle - start;
        baselineTime += end - middle;
        calls += batch;
    }
    const auto perCall = [calls](Clock::duration time) {
        return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(time).count())
            / static_cast<double>(calls);
    };
    state.counters["ns/resolution"] = benchmark::Counter(perCall(measuredTime), benchmark::Counter::kAvgThreads);
    state.counters["ns/baseline"] = benchmark::Counter(perCall(baselineTime), benchmark::Counter::kAvgThreads);
    state.counters["ratio"] = benchmark::Counter(perCall(measuredTime) / perCall(baselineTime), benchmark::Counter::kAvgThreads);
}

} // namespace

// A transient built by its typed constructor from a single, against
// `std::make_shared` of the same object from the same single.
static void Resolver_Transient(benchmark::State& state)
{
    auto& resolver = sharedResolver();
    const auto configuration = resolver.resolve<Configuration>().value();
    compare(
        state, [&] { return resolver.resolve<Connection>(); },
        [&] { return std::make_shared<Connection>(configuration); });
}
BENCHMARK(Resolver_Transient)->Threads(8)->UseRealTime();
BENCHMARK(Resolver_Transient)->Threads(1)->UseRealTime();

// A single already built, against copying the shared pointer it hands out.
static void Resolver_Single(benchmark::State& state)
{
    auto& resolver = sharedResolver();
    const auto configuration = resolver.resolve<Configuration>().value();
    compare(
        state, [&] { return resolver.resolve<Configuration>(); },
        [&] { return std::shared_ptr<Configuration>(configuration); });
}
BENCHMARK(Resolver_Single)->Threads(8)->UseRealTime();

BENCHMARK_MAIN();
