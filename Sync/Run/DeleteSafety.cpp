#include "Sync/Run/DeleteSafety.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Sync/Changes/ViewScreening.hpp"
#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Store/StoredChange.hpp"

#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Sync {

void DeleteSafety::weighListing(std::size_t deleted, std::size_t storedCount)
{
    if (m_deletesToTrash || deleted <= trashGuardMinimum || deleted * 2 <= storedCount) {
        return;
    }
    Platform::Log::failure("The listing leaves out " + std::to_string(deleted) + " of " + std::to_string(storedCount)
        + " stored items: this run moves every item it deletes to the Trash");
    m_deletesToTrash = true;
}

LocalChangeExecutor::Removal DeleteSafety::removal() const
{
    return m_deletesToTrash ? LocalChangeExecutor::Removal::toTrash : LocalChangeExecutor::Removal::asConfigured;
}

void DeleteSafety::noteFinished(const Change& change)
{
    const auto& operation = change.fileOperation();
    if (m_deletesToTrash && change.isLocal() && operation && operation->isDelete()) {
        ++m_trashed;
    }
}

std::size_t DeleteSafety::takeTrashed()
{
    return std::exchange(m_trashed, 0);
}

bool DeleteSafety::isReadableFolder(const Platform::URL& folder)
{
    if (!folder.isFileURL()) {
        return false;
    }
    auto path = folder.path();
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && ::access(path.c_str(), R_OK | X_OK) == 0;
}

std::vector<SyncEventPair> DeleteSafety::keepBelowUnreadable(std::vector<Change>& changes,
    const FileSystemFileStore::Scan& scan)
{
    if (scan.unreadable.empty()) {
        return {};
    }
    // What the scan could not see is not gone: no delete of it, on either side.
    std::erase_if(changes, [&](const Change& change) {
        const auto& operation = change.fileOperation();
        return operation && operation->isDelete() && scan.unreadableAbove(operation->file()->path());
    });
    if (std::exchange(m_reportedUnreadable, true)) {
        return {};
    }
    std::vector<SyncEventPair> events;
    for (const auto& path : scan.unreadable) {
        events.emplace_back(
            SyncEvent::error(Reactive::AnyError(ChangeExecutionError { ChangeExecutionError::Code::unreadableFolder, path, {} })),
            Change::invalid());
    }
    return events;
}

void DeleteSafety::holdBackDeletes(std::vector<Change>& changes)
{
    std::erase_if(changes, [](const Change& change) { return change.fileOperation() && change.fileOperation()->isDelete(); });
}

GuardedDeletes DeleteSafety::checkServerDeletes(std::vector<Change> changes,
    const std::optional<std::vector<FileRef>>& listing, const std::vector<FileRef>& stored)
{
    if (!listing) {
        holdBackDeletes(changes);
        return { std::move(changes), {} };
    }
    return guardServerDeletes(std::move(changes), *listing, stored);
}

StoreResult<> DeleteSafety::forgetRecords(const SyncCollaborators& collaborators, const std::vector<FileRef>& records)
{
    const auto cloudFolder = collaborators.cloudFolder();
    for (const auto& record : records) {
        auto forget = StoredChange::removing(record->syncFileID());
        if (auto written = collaborators.record(forget.removeStatus(*record, cloudFolder)); !written) {
            return written;
        }
    }
    return {};
}

bool DeleteSafety::deletesCloudFolder(const Change& change, std::optional<std::int64_t> rootFolderID)
{
    return change.kind() == Change::Kind::Remote && change.fileOperation()->isDelete() && rootFolderID
        && namesCloudFolder(*change.fileOperation()->file(), *rootFolderID);
}

} // namespace Sync
