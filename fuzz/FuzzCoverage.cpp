// The coverage the fuzz engine steers by. g++ calls __sanitizer_cov_trace_pc
// at every edge of code built with -fsanitize-coverage=trace-pc; each call
// counts the pair of this and the previous location in a table the engine
// reads after every input as its "extra counters", so an input that reaches
// a new pair, or one a new number of times, is kept. Built without any
// instrumentation of its own: it runs inside every instrumented edge.

#include <cstddef>
#include <cstdint>

namespace {

constexpr std::size_t counterCount = 1 << 16;

// The previous location of this thread, halved so that A→B and B→A differ.
thread_local std::uintptr_t previousLocation __attribute__((tls_model("initial-exec"))) = 0;

} // namespace

extern "C" {

// The engine finds the table by its section's bounds.
__attribute__((section("__libfuzzer_extra_counters"), used)) std::uint8_t orvellaEdgeCounters[counterCount];

__attribute__((no_sanitize_address, no_sanitize("undefined"), no_sanitize("thread"))) void __sanitizer_cov_trace_pc()
{
    auto caller = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    auto location = (caller ^ (caller >> 15)) & (counterCount - 1);
    ++orvellaEdgeCounters[location ^ previousLocation];
    previousLocation = location >> 1;
}

// g++ also traces comparisons of floating-point numbers, which the engine
// does not take: they steer nothing.
void __sanitizer_cov_trace_cmpf(float, float) { }
void __sanitizer_cov_trace_cmpd(double, double) { }

} // extern "C"
