// Costs of the reactive library's hot paths: a value through an operator
// chain, starting a producer, and allocations per delivered value.

#include "Reactive/Reactive.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Counts heap allocations so the benchmark can report them per value.
std::atomic<long long> allocationCount { 0 };

}

void* operator new(std::size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* pointer = std::malloc(size == 0 ? 1 : size)) {
        return pointer;
    }
    throw std::bad_alloc();
}

void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }

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
    const auto allocationsBefore = allocationCount.load();
    for (auto _ : state) {
        input.send(++value);
    }
    const auto allocations = allocationCount.load() - allocationsBefore;
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
    const auto allocationsBefore = allocationCount.load();
    for (auto _ : state) {
        input.send(++value);
    }
    const auto allocations = allocationCount.load() - allocationsBefore;
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
    for (auto _ : state) {
        producer.startWithValues([&sum](int value) { sum += value; });
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(startProducer);
