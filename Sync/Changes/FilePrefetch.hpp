#pragma once

#include "Sync/Model/FileWrapperItem.hpp"

#include <cstddef>
#include <cstdint>

namespace Sync {

// Loops over a million files lying anywhere in memory are bound by waiting
// for memory, not by their work: they ask for what a file ahead of the
// current one will need, and the memory works while they do.

// How many entries ahead a loop asks for a file or a table slot.
inline constexpr std::size_t prefetchDistance = 16;

// The cache lines of a file object, and the line before it, where the
// count of a shared file lies.
// A hint only: the addresses are computed as numbers, never read.
inline void prefetchFile(const File* file)
{
    const auto address = reinterpret_cast<std::uintptr_t>(file);
    for (std::uintptr_t offset = 0; offset < sizeof(FileWrapperItem) + 64; offset += 64)
        __builtin_prefetch(reinterpret_cast<const void*>(address + offset - 64));
}

// The lines a look at a file's identity reads: its vtable pointer, for
// the call, and its identity right after the two vtable pointers. A loop that
// reads nothing else leaves the rest of the object where it is.
inline void prefetchIdentity(const File* file)
{
    const auto address = reinterpret_cast<std::uintptr_t>(file);
    __builtin_prefetch(reinterpret_cast<const void*>(address));
    __builtin_prefetch(reinterpret_cast<const void*>(address + 2 * sizeof(void*)));
}

// The text of a file's path, for loops that read no other text: a line
// asked for and not read takes the place of one that will be. The object
// itself must be in the cache already (see prefetchFile), or this waits for it.
inline void prefetchPath(const File& file)
{
    __builtin_prefetch(file.path().data());
}

// The texts a comparison reads; the object must be in the cache, as above.
inline void prefetchTexts(const File& file)
{
    __builtin_prefetch(file.path().data());
    __builtin_prefetch(file.fileName().data());
    __builtin_prefetch(file.fileHash().data());
}

} // namespace Sync
