#pragma once
// How the process's allocator is set up, once, at the start of a program.

namespace Platform {

// Limits the allocator to a few heaps (arenas) for all threads together.
// By default every thread that allocates while the others hold their heaps
// gets one of its own, up to eight per processor; each keeps what was freed
// in it, so a sync's short-lived workers (scan, hashing, attribute reads,
// transfers) leave freed memory resident in many heaps that the next step
// cannot reuse. Call at the start of main, before any thread starts.
void limitAllocatorArenas();

} // namespace Platform
