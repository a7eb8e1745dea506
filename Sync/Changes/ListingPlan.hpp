#pragma once

#include "Sync/Changes/Change.hpp"
#include "Sync/Model/File.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

namespace Sync {

// What a remote phase makes of the server's listing: the changes that bring
// the stored state (and the disk) in line with it, and what the screening
// left out.
struct ListingPlan {
    // Under TakeRemote, nested deletes resolved.
    std::vector<Change> changes;
    // The entries of the listing left out (see ScreenedView), each an error event.
    std::vector<FileRef> twins;
    std::vector<FileRef> orphans;
    std::vector<FileRef> duplicates;
    std::vector<FileRef> misplaced;
    // The screened listing and the ids it withheld, which the stored state
    // compares with once the changes ran; none when there are no changes.
    std::optional<std::vector<FileRef>> listedFiles;
    std::unordered_set<std::int64_t> withheldIDs;
    // How many stored records there were, and how many of them the local
    // deletes of `changes` take away (a deleted folder takes what lies below it).
    std::size_t storedCount { 0 };
    std::size_t storedItemsDeleted { 0 };
    // Whether any change deletes on disk.
    bool deletesOnDisk { false };
};

// Screens `listing` and `stored` against each other and compares them. Both
// are taken over; what is not part of the plan is gone when it returns.
[[nodiscard]] ListingPlan planListing(std::vector<FileRef> listing, std::vector<FileRef> stored, std::int64_t rootFolderID);

// Whether `stored`, screened as a plan screens it against `listedFiles` (which
// withheld `withheldIDs`), compares equal to it: nothing left to change.
[[nodiscard]] bool comparesEqual(const std::vector<FileRef>& stored, const std::vector<FileRef>& listedFiles,
    const std::unordered_set<std::int64_t>& withheldIDs, std::int64_t rootFolderID);

} // namespace Sync
