#pragma once
// Counts the program's heap allocations (global operator new), so a
// benchmark can report allocations per operation.

namespace Bench {

long long allocationCount();

}
