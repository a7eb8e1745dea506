#pragma once

#include "Sync/Changes/Change.hpp"
#include "Sync/Model/File.hpp"

#include <vector>

namespace Sync {

// The local phase's deletes on the server, checked against the server's
// listing as it is now: an item deleted on disk whose server side changed
// since the stored record (new content, a new item in a deleted folder, an
// item moved into it) is newer work than the delete knew of.
struct GuardedDeletes {
    // The changes to carry out: a file changed on the server is not deleted
    // there; a folder with changed items below it is not deleted as a
    // whole, only the unchanged items and subtrees in it are.
    std::vector<Change> changes;
    // Stored records to forget before the changes run: the changed items and
    // the folders that hold them, which the remote phase then takes for new
    // on the server and brings down again.
    std::vector<FileRef> forgotten;
};

// `changes` as the local phase computed them (nested deletes resolved),
// `listing` the server's listing, `stored` the stored records. A remote
// delete of an item the listing does not hold, or of a folder with a stored
// item below it that the listing does not hold, is left out and its records
// stay: absence from one listing proves nothing about the server's side.
// The remote phase then lets the records go of what its listing does not
// hold either, and a later listing that shows the item brings it back.
// Linear in the three sizes.
[[nodiscard]] GuardedDeletes guardServerDeletes(std::vector<Change> changes, const std::vector<FileRef>& listing,
    const std::vector<FileRef>& stored);

// Whether `changes` holds a delete on the server, which guardServerDeletes would check.
[[nodiscard]] bool holdsServerDelete(const std::vector<Change>& changes);

} // namespace Sync
