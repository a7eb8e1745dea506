#include "PeakMemory.hpp"

#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <string>

namespace Bench {

double peakResidentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:"))
            return static_cast<double>(std::strtol(line.c_str() + 6, nullptr, 10)) / 1024.0;
    }
    return 0;
}

void resetPeakResident()
{
    // Freed memory that the allocator still holds would count as resident.
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

}
