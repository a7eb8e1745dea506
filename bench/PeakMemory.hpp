#pragma once
// The process's resident-memory high-water mark, so a benchmark can report
// the peak memory of the work it measures.

namespace Bench {

// VmHWM of this process, in MiB.
double peakResidentMegabytes();

// The resident memory now, in MiB: all of it, the part backed by files
// (code and read-only data of the program and its libraries, mapped files)
// and the anonymous part (heaps, stacks).
struct Resident {
    double total = 0;
    double files = 0;
    double anonymous = 0;
};
Resident residentNow();

// Returns freed memory to the system and resets the high-water mark to what
// is resident now, so the next reading is the peak of what follows.
void resetPeakResident();

}
