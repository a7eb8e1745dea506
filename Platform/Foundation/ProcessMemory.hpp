#pragma once
// How the process's allocator is set up, once, at the start of a program.

#include <cstddef>

namespace Platform {

// Blocks of at least this size are mapped apart from the heaps and handed
// back to the system when freed. Above the largest block a transfer takes
// for itself (its 256 KiB receive buffer), so that the one made per file is
// reused from a heap rather than mapped and unmapped each time.
inline constexpr std::size_t separatelyMappedBlockSize = 512 * 1024;

// Limits the allocator to a few heaps (arenas) for all threads together, and
// maps the blocks of separatelyMappedBlockSize and more apart from them.
//
// By default every thread that allocates while the others hold their heaps
// gets one of its own, up to eight per processor; each keeps what was freed
// in it, so a sync's short-lived workers (scan, hashing, attribute reads,
// transfers) leave freed memory resident in many heaps that the next step
// cannot reuse.
//
// By default, too, the size from which a block is mapped apart grows to
// that of every mapped block freed, up to 32 MiB: once a listing's body has
// come and gone, the lists of a large tree (its files, its changes, their
// paths) are carved from the heaps, whose freed middle stays resident for
// the rest of the process next to what the run holds. A fixed size keeps
// them apart, and gone when they are freed.
//
// Call at the start of main, before any thread starts.
void setUpAllocator();

} // namespace Platform
