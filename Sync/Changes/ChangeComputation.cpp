#include "Sync/Changes/ChangeComputation.hpp"

#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Changes/ChangeFactories.hpp"
#include "Sync/Changes/ChangeOrdering.hpp"
#include "Sync/Changes/FilePrefetch.hpp"
#include "Sync/Changes/IDTable.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <cstdlib>
#include <limits>
#include <optional>
#include <unordered_set>

namespace Sync {

namespace {

std::optional<Change> changeForMatchedFile(const FileRef& local, const FileRef& remote, bool localWins)
{
    // Only ever called for files of one identity; anything else is a bug in
    // the caller that must not be turned into changes.
    if (!(local->syncFileID() == remote->syncFileID()))
        std::abort();

    if (*local == *remote)
        return std::nullopt;
    if (!Platform::canonicallyEqual(local->path(), remote->path())) {
        // Same parent and same name: only a folder above it moved, and the
        // folder's own move takes it along on the server.
        const bool carriedAlong = localWins && local->syncParentID().isRemote()
            && local->syncParentID() == remote->syncParentID()
            && Platform::canonicallyEqual(local->fileName(), remote->fileName());
        if (!carriedAlong)
            return localWins ? remoteMove(remote, local) : localMove(local, remote);
    }

    if (localWins && !isFolder(*remote) && remote->fileHash() == FileWrapperItem::missingFileHashKey) {
        // Stored records keep whole seconds, so only the whole seconds can tell.
        if (local->lastModifiedDate().wholeSecondsSince1970() != remote->lastModifiedDate().wholeSecondsSince1970())
            return remoteUpdate(local);
        auto stored = std::dynamic_pointer_cast<FileWrapperItem>(remote);
        if (!stored)
            return std::nullopt;
        stored->setFileHash(local->fileHash());
        return localUpdateMetaData(remote);
    }

    if (!isFolder(*remote) && !Platform::canonicallyEqual(local->fileHash(), remote->fileHash()))
        return localWins ? remoteUpdate(local) : localUpdate(remote);

    if (localWins)
        return std::nullopt;
    if (local->hasPublicShare() != remote->hasPublicShare() || local->hasPrivateShares() != remote->hasPrivateShares())
        return localUpdateMetaData(remote);
    return std::nullopt;
}

} // namespace

std::vector<Change> computeChanges(const std::vector<FileRef>& localView, const std::vector<FileRef>& remoteView,
    MergePolicy policy)
{
    const bool localWins = policy == MergePolicy::TakeLocal;
    // Identifier tables hold remote numbers only. A local id never names a
    // known item: every scanned item gets a fresh one, so matching one local
    // id against another would pair unrelated items.
    //
    // The index of the first remote-view file of each identifier, and for
    // every remote-view file the first of its identifier: a local file that
    // matches the first one accounts for all of them.
    constexpr auto noIndex = std::numeric_limits<std::size_t>::max();
    IDTable<std::size_t> byID(remoteView.size());
    std::vector<std::size_t> firstOf(remoteView.size(), noIndex);
    for (std::size_t index = 0; index < remoteView.size(); ++index) {
        if (index + 2 * prefetchDistance < remoteView.size())
            prefetchIdentity(remoteView[index + 2 * prefetchDistance].get());
        if (index + prefetchDistance < remoteView.size())
            if (auto ahead = remoteView[index + prefetchDistance]->syncFileID().remoteID())
                byID.prefetch(*ahead);
        if (auto id = remoteView[index]->syncFileID().remoteID())
            firstOf[index] = *byID.insert(*id, index).first;
    }
    std::vector<bool> matched(remoteView.size(), false);

    // The partners lie anywhere in memory: each is asked for some files
    // ahead, first its slot, then where its pointer is kept, then the file.
    auto matchAhead = [&](std::size_t distance, std::size_t index) -> const std::size_t* {
        if (index + distance >= localView.size())
            return nullptr;
        auto ahead = localView[index + distance]->syncFileID().remoteID();
        return ahead ? byID.find(*ahead) : nullptr;
    };
    std::vector<Change> pairs, goneFromRemote, onlyRemote, newLocal;
    for (std::size_t index = 0; index < localView.size(); ++index) {
        if (index + prefetchDistance < localView.size())
            if (auto ahead = localView[index + prefetchDistance]->syncFileID().remoteID())
                byID.prefetch(*ahead);
        if (auto ahead = matchAhead(prefetchDistance / 2, index))
            __builtin_prefetch(&remoteView[*ahead]);
        if (auto ahead = matchAhead(prefetchDistance / 4, index))
            prefetchFile(remoteView[*ahead].get());
        if (auto ahead = matchAhead(prefetchDistance / 8, index))
            prefetchTexts(*remoteView[*ahead]);
        if (index + prefetchDistance < localView.size())
            prefetchFile(localView[index + prefetchDistance].get());
        if (index + prefetchDistance / 2 < localView.size())
            prefetchTexts(*localView[index + prefetchDistance / 2]);
        const auto& file = localView[index];
        auto id = file->syncFileID().remoteID();
        if (!id) {
            newLocal.push_back(remoteCreate(file));
        } else if (auto match = byID.find(*id); !match) {
            goneFromRemote.push_back(localDelete(file));
        } else {
            matched[*match] = true;
            const auto& partner = remoteView[*match];
            if (isFolder(*file) != isFolder(*partner)) {
                // One identity, two kinds of item: not the same item moved
                // or edited, but one gone and another new in its place.
                if (!localWins) {
                    goneFromRemote.push_back(localDelete(file));
                    onlyRemote.push_back(localCreate(partner));
                } else if (auto item = std::dynamic_pointer_cast<FileWrapperItem>(file)) {
                    onlyRemote.push_back(remoteDelete(partner));
                    item->setSyncFileID(SyncFileID());
                    newLocal.push_back(remoteCreate(file));
                }
                continue;
            }
            if (auto change = changeForMatchedFile(file, partner, localWins))
                pairs.push_back(std::move(*change));
        }
    }
    for (std::size_t index = 0; index < remoteView.size(); ++index)
        if (firstOf[index] == noIndex || !matched[firstOf[index]])
            onlyRemote.push_back(localWins ? remoteDelete(remoteView[index]) : localCreate(remoteView[index]));

    std::vector<Change> assembled;
    assembled.reserve(pairs.size() + goneFromRemote.size() + onlyRemote.size() + newLocal.size());
    for (auto* list : { &pairs, &goneFromRemote, &onlyRemote, &newLocal })
        for (auto& change : *list)
            assembled.push_back(std::move(change));
    return orderedChanges(std::move(assembled));
}

std::vector<Change> resolvingNestedDeletes(const std::vector<Change>& changes)
{
    std::unordered_set<std::int64_t> deleted;
    for (const auto& change : changes) {
        const auto& operation = change.fileOperation();
        if (operation && operation->isDelete())
            if (auto id = operation->file()->syncFileID().remoteID())
                deleted.insert(*id);
    }

    std::vector<Change> result;
    result.reserve(changes.size());
    for (const auto& change : changes) {
        const auto& operation = change.fileOperation();
        if (operation && operation->isDelete()) {
            auto parent = operation->file()->syncParentID().remoteID();
            if (parent && deleted.contains(*parent)) {
                result.push_back(localDelete(operation->file()));
                continue;
            }
        }
        result.push_back(change);
    }
    return result;
}

} // namespace Sync
