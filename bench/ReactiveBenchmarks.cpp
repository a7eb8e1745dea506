// Costs of the reactive library's hot paths: a value through an operator
// chain, starting a producer, and allocations per delivered value.

#include "Reactive/Reactive.hpp"
#include "bench/AllocationCounter.hpp"

#include <benchmark/benchmark.h>

using namespace Reactive;

// One value sent into a started `map` + `filter` chain.
static void valueThroughMapAndFilter(benchmark::State& state)
{
    auto [signal, input] = Signal<int, NoError>::pipe();
    long long sum = 0;
    auto disposable = SignalProducer<int, NoError>(signal)
                          .map([](int value) { return value * 2; })
                          .filter([](int value) { return value % 3 != 0; })
                          .startWithValues([&sum](int value) { sum += value; });
    int value = 0;
    const auto allocationsBefore = Bench::allocationCount();
    for (auto _ : state) {
        input.send(++value);
    }
    const auto allocations = Bench::allocationCount() - allocationsBefore;
    benchmark::DoNotOptimize(sum);
    state.counters["allocations/value"] = benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
    disposable.dispose();
}
BENCHMARK(valueThroughMapAndFilter);

// One value sent into a signal observed directly.
static void valueThroughSignal(benchmark::State& state)
{
    auto [signal, input] = Signal<int, NoError>::pipe();
    long long sum = 0;
    auto disposable = signal.observeValues([&sum](int value) { sum += value; });
    int value = 0;
    const auto allocationsBefore = Bench::allocationCount();
    for (auto _ : state) {
        input.send(++value);
    }
    const auto allocations = Bench::allocationCount() - allocationsBefore;
    benchmark::DoNotOptimize(sum);
    state.counters["allocations/value"] = benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
    disposable.dispose();
}
BENCHMARK(valueThroughSignal);

// Starting a producer of one value through `map`, to completion.
static void startProducer(benchmark::State& state)
{
    const auto producer = SignalProducer<int, NoError>::value(1).map([](int value) { return value + 1; });
    long long sum = 0;
    const auto allocationsBefore = Bench::allocationCount();
    for (auto _ : state) {
        producer.startWithValues([&sum](int value) { sum += value; });
    }
    const auto allocations = Bench::allocationCount() - allocationsBefore;
    benchmark::DoNotOptimize(sum);
    state.counters["allocations/start"] = benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
}
BENCHMARK(startProducer);
