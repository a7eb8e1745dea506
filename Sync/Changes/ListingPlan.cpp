#include "Sync/Changes/ListingPlan.hpp"

#include "Sync/Changes/ChangeComputation.hpp"
#include "Sync/Changes/IDTable.hpp"
#include "Sync/Changes/ViewScreening.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

namespace Sync {

namespace {

bool isLocalDelete(const Change& change)
{
    return change.kind() == Change::Kind::Local && change.fileOperation()->isDelete();
}

// A delete's file is the stored record itself, so the paths compare as they are.
std::size_t storedItemsDeleted(const std::vector<Change>& changes, const std::vector<FileRef>& stored)
{
    std::unordered_set<std::string_view> deleted;
    for (const auto& change : changes) {
        if (isLocalDelete(change)) {
            deleted.insert(change.fileOperation()->file()->path());
        }
    }
    if (deleted.empty()) {
        return 0;
    }
    return std::ranges::count_if(stored, [&](const FileRef& file) {
        std::string_view path = file->path();
        while (!path.empty()) {
            if (deleted.contains(path)) {
                return true;
            }
            auto trimmed = path.ends_with('/') ? path.substr(0, path.size() - 1) : path;
            const auto slash = trimmed.rfind('/');
            if (slash == std::string_view::npos || slash == 0) {
                return false;
            }
            path = trimmed.substr(0, slash + 1);
        }
        return false;
    });
}

IDSet remoteIDsOf(const std::vector<FileRef>& listedFiles)
{
    IDSet ids(listedFiles.size());
    for (const auto& file : listedFiles)
        ids.insert(*file->syncFileID().remoteID());
    return ids;
}

} // namespace

ListingPlan planListing(std::vector<FileRef> listing, std::vector<FileRef> stored, std::int64_t rootFolderID)
{
    ListingPlan plan;
    plan.storedCount = stored.size();
    // Flat id sets, each gone when its step is: they live beside both views.
    auto screened = [&] {
        IDSet storedIDs(stored.size());
        for (const auto& file : stored)
            if (auto id = file->syncFileID().remoteID())
                storedIDs.insert(*id);
        return screenListing(std::move(listing), rootFolderID, [&](std::int64_t id) { return storedIDs.contains(id); });
    }();
    {
        auto listedIDs = remoteIDsOf(screened.files);
        stored = screenStoredFiles(stored, rootFolderID, screened.withheldIDs,
            [&](std::int64_t id) { return listedIDs.contains(id); });
    }
    plan.changes = resolvingNestedDeletes(computeChanges(stored, screened.files, MergePolicy::TakeRemote));
    plan.storedItemsDeleted = storedItemsDeleted(plan.changes, stored);
    plan.deletesOnDisk = std::ranges::any_of(plan.changes, isLocalDelete);
    plan.twins = std::move(screened.twins);
    plan.orphans = std::move(screened.orphans);
    plan.duplicates = std::move(screened.duplicates);
    plan.misplaced = std::move(screened.misplaced);
    if (!plan.changes.empty()) {
        plan.listedFiles = std::move(screened.files);
        plan.withheldIDs = std::move(screened.withheldIDs);
    }
    return plan;
}

bool comparesEqual(const std::vector<FileRef>& stored, const std::vector<FileRef>& listedFiles,
    const std::unordered_set<std::int64_t>& withheldIDs, std::int64_t rootFolderID)
{
    auto listedIDs = remoteIDsOf(listedFiles);
    auto screened = screenStoredFiles(stored, rootFolderID, withheldIDs, [&](std::int64_t id) { return listedIDs.contains(id); });
    return computeChanges(screened, listedFiles, MergePolicy::TakeRemote).empty();
}

} // namespace Sync
