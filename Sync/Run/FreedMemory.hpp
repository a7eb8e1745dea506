#pragma once

#include <malloc.h>

namespace Sync {

// The views of a large tree take tens of megabytes for a moment, freed in
// pieces the allocator keeps for itself (it only hands back the top of a
// heap). Handed back to the system once they are gone, they do not stay
// resident for the hours the changes may take, nor add to what the next
// large step (a listing) needs on top.
inline void releaseFreedMemory()
{
    ::malloc_trim(0);
}

} // namespace Sync
