#pragma once

#include <malloc.h>

namespace Sync {

// The views of a large tree take tens of megabytes for a moment, freed in
// pieces the allocator keeps for itself (it only hands back the top of a
// heap). Handed back to the system once they are gone, they do not stay
// resident for the hours the changes may take, nor add to what the next
// large step (a listing) needs on top. Not free: each piece handed back is
// a call that flushes the address space's cached pages on every processor
// the process runs on, and a page handed back is faulted in again when it is
// used next; for a large tree that costs as much as walking it. Worth it only
// before work that lasts.
inline void releaseFreedMemory()
{
    ::malloc_trim(0);
}

} // namespace Sync
