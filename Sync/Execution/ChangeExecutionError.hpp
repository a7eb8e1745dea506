#pragma once

#include <string>

namespace Sync {

// Why the engine itself refused to carry out a change (failures of the server
// or of the disk arrive as their own error types).
struct ChangeExecutionError {
    // Never renumber: codes are logged.
    enum class Code {
        // A path from the server would leave the cloud folder or is malformed.
        unsafePath = 1,
        // The item on disk was changed since the last sync; the server's
        // change would overwrite or delete it. The next local phase uploads it.
        localEditConflict = 2,
        // Another item has the same name up to Unicode normalisation; the
        // first one keeps the name, this one is not synced.
        nameTwin = 3,
        // A server item whose parent folder the listing does not hold.
        missingParent = 4,
        // The item to upload is no regular file (a link or a pipe swapped in).
        notARegularFile = 5,
        // A folder the scan could not read: the items the stored state knows
        // below it are kept on both sides, not taken for deleted.
        unreadableFolder = 6,
        // The cloud folder itself cannot be read (or vanished while it was
        // scanned): the run ends before it asks the server anything.
        cloudFolderUnreadable = 7,
        // A server item listed a second time, at another path: the first
        // entry is the item, this one is not synced.
        duplicateID = 8,
        // A server item whose path is not its parent folder's path and its
        // name: not downloaded, no folder made for it.
        misplacedPath = 9,
    };

    Code code = Code::unsafePath;
    // The path relative to the cloud folder that the change is about.
    std::string path;
    // What was found, for the log (may be empty).
    std::string detail;

    // One line for logs and sync events; in German for the cloud folder
    // itself, which the user is shown.
    [[nodiscard]] std::string description() const;
};

} // namespace Sync
