#pragma once
// The process's resident-memory high-water mark, so a benchmark can report
// the peak memory of the work it measures.

namespace Bench {

// VmHWM of this process, in MiB.
double peakResidentMegabytes();

// Returns freed memory to the system and resets the high-water mark to what
// is resident now, so the next reading is the peak of what follows.
void resetPeakResident();

}
