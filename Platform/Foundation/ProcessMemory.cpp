#include "Platform/Foundation/ProcessMemory.hpp"

#include <malloc.h>

namespace Platform {

namespace {

    // Two heaps: the threads that allocate most (the engine's queue and a
    // transfer thread) seldom wait for each other on one lock, and freed
    // memory stays where the next allocation looks for it.
    constexpr int allocatorArenas = 2;

} // namespace

void limitAllocatorArenas()
{
    ::mallopt(M_ARENA_MAX, allocatorArenas);
}

} // namespace Platform
