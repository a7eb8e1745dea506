#pragma once
// How the process's allocator is set up, once, at the start of a program.

namespace Platform {

// Limits the allocator to a few heaps (arenas) for all threads together.
// By default every thread that allocates while the others hold their heaps
// gets one of its own, up to eight per processor; each keeps what was freed
// in it, so a sync's short-lived workers (scan, hashing, attribute reads,
// transfers) leave freed memory resident in many heaps that the next step
// cannot reuse.
//
// The size from which a block is mapped apart from the heaps is left to
// grow as the allocator sees fit: fixed (at 512 KiB, above a transfer's
// receive buffer), it kept a first sync of 10,000 files 1.4 MiB lower, but
// each download took an eighth more processor time.
//
// Call at the start of main, before any thread starts.
void limitAllocatorArenas();

} // namespace Platform
