#include "Sync/Store/StoredChange.hpp"

#include "Platform/Foundation/Log.hpp"

namespace Sync {

StoredChange StoredChange::storing(FileRef file)
{
    StoredChange change;
    change.record = std::move(file);
    return change;
}

StoredChange StoredChange::removing(SyncFileID id)
{
    StoredChange change;
    change.removedRecord = std::move(id);
    return change;
}

StoredChange& StoredChange::removeStatus(const File& file, const Platform::URL& cloudFolder)
{
    if (auto url = fileURL(file, cloudFolder))
        removedStatuses.push_back(std::move(*url));
    else
        Platform::Log::failure("Not removing the status of a file whose path leaves the cloud folder: " + file.path());
    return *this;
}

StoredChange& StoredChange::markUpToDate(const File& file, const Platform::URL& cloudFolder)
{
    if (auto url = fileURL(file, cloudFolder))
        upToDate.push_back(std::move(*url));
    else
        Platform::Log::failure("Not marking a file whose path leaves the cloud folder: " + file.path());
    return *this;
}

} // namespace Sync
