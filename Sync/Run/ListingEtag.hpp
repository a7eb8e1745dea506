#pragma once

#include "Sync/Model/File.hpp"
#include "Sync/Store/FileStore.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace Sync {

// The etag of the listing the stored state was last brought in step with
// (FileStore::listingEtag), as one run keeps and forgets it.
//
// The root etag changes with every change below the root. While it is the
// kept one, that listing is still the truth and need not be fetched again.
// The etag is asked before the listing, so a change in between only makes
// the next run list again. It is kept once a remote phase carried its listing
// out whole and none of the run's listings deleted anything on disk (a short
// listing would read as deletes: the next run lists again), and forgotten
// before the local phase or a listing changes the stored state. A stored
// public link past its expiry makes the run list as well: the service lists
// it as none from then on, without a new etag.
//
// One per run; touched only by the step under way.
class ListingEtag {
public:
    explicit ListingEtag(std::shared_ptr<FileStore> store);

    // The root etag asked before a listing; none when the request failed.
    void askedRootEtag(std::optional<std::string> etag);
    // Whether the root etag asked last is the kept one and the passing of
    // time changed nothing a listing would say about `stored` (the stored
    // records, read here when absent).
    [[nodiscard]] bool namesStoredState(const std::optional<std::vector<FileRef>>& stored) const;
    // No listing names the stored state any more. Once per run: after it,
    // only this run's own remote phase keeps one again.
    [[nodiscard]] StoreResult<> forget();

    // A remote phase begins: no listing of it arrived yet.
    void phaseStarts();
    // The listing asked after the root etag arrived and was planned (see ListingPlan).
    void listed(std::optional<std::vector<FileRef>> listedFiles, std::unordered_set<std::int64_t> withheldIDs, bool deletesOnDisk);
    void listingFailed();
    // Keeps the etag of the latest listing when the remote phase carried it
    // out whole (`carriedOutWhole`) and the stored state compares equal to it.
    void keep(bool carriedOutWhole, std::optional<std::int64_t> rootFolderID);

private:
    // Whether a public link the records hold expired, which no etag shows.
    [[nodiscard]] static bool holdsExpiredLink(const std::vector<FileRef>& records);
    [[nodiscard]] bool storedStateComparesEqual(std::optional<std::int64_t> rootFolderID);

    std::shared_ptr<FileStore> m_store;
    // The root etag asked before the latest listing of the remote phase.
    std::optional<std::string> m_rootEtag;
    // The etag of the remote phase's latest listing, once it arrived.
    std::optional<std::string> m_listingInStep;
    // The screened listing and what it withheld, while its changes are carried
    // out: the etag is kept only once the stored state compares equal to it.
    std::optional<std::vector<FileRef>> m_listedFiles;
    std::unordered_set<std::int64_t> m_withheldIDs;
    // Whether a listing of this run made changes that delete on disk.
    bool m_listingDeletedLocally { false };
    bool m_forgotten { false };
};

} // namespace Sync
