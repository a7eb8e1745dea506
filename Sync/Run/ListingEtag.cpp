#include "Sync/Run/ListingEtag.hpp"

#include "Platform/Foundation/Date.hpp"
#include "Sync/Changes/ListingPlan.hpp"
#include "Sync/Sharing/PublicShareInfo.hpp"

#include <algorithm>
#include <utility>

namespace Sync {

ListingEtag::ListingEtag(std::shared_ptr<FileStore> store)
    : m_store(std::move(store))
{
}

void ListingEtag::askedRootEtag(std::optional<std::string> etag)
{
    m_rootEtag = std::move(etag);
}

bool ListingEtag::namesStoredState(const std::optional<std::vector<FileRef>>& stored) const
{
    if (!m_rootEtag || m_store->listingEtag() != m_rootEtag) {
        return false;
    }
    if (stored) {
        return !holdsExpiredLink(*stored);
    }
    // Without the records there is nothing to compare: lists, as a failed read does.
    auto loaded = m_store->loadFiles();
    return loaded && !holdsExpiredLink(*loaded);
}

bool ListingEtag::holdsExpiredLink(const std::vector<FileRef>& records)
{
    // A public link past its expiry is listed as none without any etag
    // changing: the stored record that still holds it is out of step.
    const auto now = Platform::Date::now();
    return std::ranges::any_of(records, [&](const FileRef& record) {
        const auto& link = record->publicShareInfo();
        return record->hasPublicShare() && link && !isValid(*link, now);
    });
}

StoreResult<> ListingEtag::forget()
{
    if (m_forgotten) {
        return {};
    }
    if (auto forgotten = m_store->setListingEtag(std::nullopt); !forgotten) {
        return forgotten;
    }
    m_forgotten = true;
    return {};
}

void ListingEtag::phaseStarts()
{
    m_listingInStep.reset();
    m_listedFiles.reset();
    m_withheldIDs.clear();
}

void ListingEtag::listed(std::optional<std::vector<FileRef>> listedFiles, std::unordered_set<std::int64_t> withheldIDs,
    bool deletesOnDisk)
{
    m_listingInStep = m_rootEtag;
    m_listingDeletedLocally = m_listingDeletedLocally || deletesOnDisk;
    // None after no change: the listing is the stored state.
    m_listedFiles = std::move(listedFiles);
    m_withheldIDs = std::move(withheldIDs);
}

void ListingEtag::listingFailed()
{
    m_listingInStep.reset();
}

void ListingEtag::keep(bool carriedOutWhole, std::optional<std::int64_t> rootFolderID)
{
    // A listing that took items away here may have been short: only a
    // listing that deletes nothing is trusted to stand for the server, so
    // the next run lists again and a complete listing brings them back.
    if (!m_listingInStep || !carriedOutWhole || m_listingDeletedLocally) {
        return;
    }
    if (m_listedFiles && !storedStateComparesEqual(rootFolderID)) {
        return;
    }
    // A failure is logged by the store; the next run then lists again.
    if (m_store->setListingEtag(std::exchange(m_listingInStep, std::nullopt))) {
        m_forgotten = false;
    }
}

bool ListingEtag::storedStateComparesEqual(std::optional<std::int64_t> rootFolderID)
{
    // Some changes settle in more than one run (a move whose content
    // changed too): only a stored state that now compares equal to the
    // listing is in step with it.
    auto listed = std::exchange(m_listedFiles, std::nullopt);
    auto loaded = m_store->loadFiles();
    return loaded && rootFolderID && comparesEqual(*loaded, *listed, m_withheldIDs, *rootFolderID);
}

} // namespace Sync
