#include "PeakMemory.hpp"

#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <string>

namespace Bench {

namespace {

double statusMegabytes(std::string_view field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field) && line.size() > field.size() && line[field.size()] == ':')
            return static_cast<double>(std::strtol(line.c_str() + field.size() + 1, nullptr, 10)) / 1024.0;
    }
    return 0;
}

}

double peakResidentMegabytes()
{
    return statusMegabytes("VmHWM");
}

Resident residentNow()
{
    return { statusMegabytes("VmRSS"), statusMegabytes("RssFile") + statusMegabytes("RssShmem"), statusMegabytes("RssAnon") };
}

void resetPeakResident()
{
    // Freed memory that the allocator still holds would count as resident.
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

}
