#pragma once

namespace Sync {

// Which side wins a comparison of two views. Never renumber: the values are
// the cases' positions.
enum class MergePolicy {
    // The remote view wins: differences become local changes (disk and store).
    TakeRemote = 0,
    // The local view wins: differences become remote changes (server).
    TakeLocal = 1,
};

} // namespace Sync
