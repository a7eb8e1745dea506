#include "Platform/Foundation/ProcessMemory.hpp"

#include <malloc.h>

namespace Platform {

namespace {

    // Two heaps: the threads that allocate most (the engine's queue and a
    // transfer thread) seldom wait for each other on one lock, and freed
    // memory stays where the next allocation looks for it.
    constexpr int allocatorArenas = 2;

} // namespace

void setUpAllocator()
{
    ::mallopt(M_ARENA_MAX, allocatorArenas);
    // Setting it also stops its growth with every mapped block freed.
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(separatelyMappedBlockSize));
}

} // namespace Platform
