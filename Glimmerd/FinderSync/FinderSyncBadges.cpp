// The badges of FinderSync: the answer to a badge request and the re-badging
// after each status delivery.

#include "Glimmerd/FinderSync/FinderSync.hpp"

namespace Glimmerd {

using Sync::FileSyncStatus;

const char* badgeIdentifier(FileSyncStatus status)
{
    switch (status) {
    case FileSyncStatus::upToDate:
        return FinderSync::idleIdentifier;
    case FileSyncStatus::error:
        return FinderSync::errorIdentifier;
    case FileSyncStatus::syncing:
    case FileSyncStatus::unknown:
        break;
    }
    // An item the store does not know yet is on its way.
    return FinderSync::syncingIdentifier;
}

void FinderSync::setBadge(FileSyncStatus status, const Platform::URL& url)
{
    m_environment.syncController->setBadgeIdentifier(badgeIdentifier(status), url);
}

void FinderSync::requestBadgeIdentifier(const Platform::URL& url)
{
    auto path = Sync::realmIdentifierPath(url);
    auto root = currentCloudFolderURL();
    if (root && Sync::realmIdentifierPath(*root) == path) {
        // The cloud folder sums up its items, but never shows an error.
        setBadge(m_environment.fileStatusStore->hasSyncingFiles() ? FileSyncStatus::syncing : FileSyncStatus::upToDate, url);
        return;
    }
    m_environment.fileStatusStore->modifyTrackedURLs([&](auto& tracked) { tracked.insert(url); });
    setBadge(m_environment.fileStatusStore->status(url), url);
}

void FinderSync::updateBadges(const Sync::FileSyncStatuses& statuses)
{
    bool anySyncing = false;
    for (const auto& [url, status] : statuses) {
        anySyncing = anySyncing || status == FileSyncStatus::syncing;
        setBadge(status, url);
    }
    if (auto root = currentCloudFolderURL())
        setBadge(anySyncing ? FileSyncStatus::syncing : FileSyncStatus::upToDate, *root);
}

} // namespace Glimmerd
