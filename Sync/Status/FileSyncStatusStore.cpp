#include "Sync/Status/FileSyncStatusStore.hpp"

#include "Platform/Foundation/Unicode.hpp"

namespace Sync {

std::string realmIdentifierPath(const Platform::URL& url)
{
    auto path = url.standardized().path();
    // A folder's URL may end with "/"; its row is the same as without.
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return Platform::precomposed(path);
}

StoreResult<> FileSyncStatusStore::record(const StoredChange& change, FileStore& records)
{
    if (change.record) {
        if (auto stored = records.add(*change.record); !stored)
            return stored;
    } else if (change.removedRecord) {
        if (auto removed = records.setFile(*change.removedRecord, nullptr); !removed)
            return removed;
    }
    for (const auto& url : change.removedStatuses) {
        if (auto removed = remove(url); !removed)
            return removed;
    }
    for (const auto& url : change.upToDate) {
        if (auto marked = setStatus(url, FileSyncStatus::upToDate); !marked)
            return marked;
    }
    return {};
}

} // namespace Sync
