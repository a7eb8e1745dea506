#pragma once

#include "Platform/Database/Database.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Model/SyncFileID.hpp"

#include <functional>
#include <optional>
#include <vector>

namespace Sync {

// What carrying out one change writes to the stored state: the item's record
// and its status rows. They are written together, so that a failure (or the
// end of the process) in between never leaves a record without its status or
// a status for a record that was never written.
struct StoredChange {
    // Stored under its own id (keeping stored share details); nullptr for none.
    FileRef record;
    // Removed, when there is no `record`.
    std::optional<SyncFileID> removedRecord;
    // Status rows removed, then rows set to up to date.
    std::vector<Platform::URL> removedStatuses;
    std::vector<Platform::URL> upToDate;

    // Stores `file`; removes the record with `id`.
    [[nodiscard]] static StoredChange storing(FileRef file);
    [[nodiscard]] static StoredChange removing(SyncFileID id);

    // The row of `file` below `cloudFolder`; a path leaving the cloud folder is logged and left out.
    StoredChange& removeStatus(const File& file, const Platform::URL& cloudFolder);
    StoredChange& markUpToDate(const File& file, const Platform::URL& cloudFolder);
};

// Writes rows inside a write transaction that another store opened on the same database file.
using StoredRowsWrite = std::function<std::expected<void, Platform::DatabaseError>(Platform::Database&)>;

} // namespace Sync
