#include "Sync/Changes/ServerDeleteGuard.hpp"

#include "Sync/Changes/ChangeFactories.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace Sync {

namespace {

using IDs = std::unordered_set<std::int64_t>;

bool isServerDelete(const Change& change)
{
    return change.kind() == Change::Kind::Remote && change.fileOperation()->isDelete()
        && change.fileOperation()->file()->syncFileID().isRemote();
}

// Whether the server's item differs from what the record knew of it.
bool changedSince(const File& record, const File& listed)
{
    if (isFolder(record) != isFolder(listed))
        return true;
    if (isFolder(record))
        return false;
    const auto hash = record.fileHash();
    if (hash.empty() || hash == FileWrapperItem::missingFileHashKey)
        return record.lastModifiedDate().wholeSecondsSince1970() != listed.lastModifiedDate().wholeSecondsSince1970();
    return hash != listed.fileHash();
}

// Files by remote id, and the ids of each folder's children.
struct Tree {
    explicit Tree(const std::vector<FileRef>& files)
    {
        for (const auto& file : files) {
            auto id = file->syncFileID().remoteID();
            if (!id || !byID.try_emplace(*id, file).second)
                continue;
            if (auto parent = file->syncParentID().remoteID())
                children[*parent].push_back(*id);
        }
    }

    // `id` and every id below it.
    [[nodiscard]] IDs subtree(std::int64_t id) const
    {
        IDs found { id };
        std::vector<std::int64_t> pending { id };
        while (!pending.empty()) {
            auto next = pending.back();
            pending.pop_back();
            auto below = children.find(next);
            if (below == children.end())
                continue;
            for (auto child : below->second)
                if (found.insert(child).second)
                    pending.push_back(child);
        }
        return found;
    }

    [[nodiscard]] const File* at(std::int64_t id) const
    {
        auto found = byID.find(id);
        return found == byID.end() ? nullptr : found->second.get();
    }

    std::unordered_map<std::int64_t, FileRef> byID;
    std::unordered_map<std::int64_t, std::vector<std::int64_t>> children;
};

} // namespace

bool holdsServerDelete(const std::vector<Change>& changes)
{
    for (const auto& change : changes)
        if (isServerDelete(change))
            return true;
    return false;
}

GuardedDeletes guardServerDeletes(std::vector<Change> changes, const std::vector<FileRef>& listing,
    const std::vector<FileRef>& stored)
{
    const Tree server(listing);
    const Tree records(stored);
    // Records kept on the server because something of them or below them
    // changed there; and, among the records below a kept folder, the roots
    // of the unchanged parts, which are deleted on the server one by one.
    IDs kept;
    IDs deletedApart;
    // Deleted here, but not shown (whole) by the listing: neither deleted
    // there nor forgotten, so that a later run decides.
    IDs unseen;
    for (const auto& change : changes) {
        if (!isServerDelete(change))
            continue;
        const auto& file = *change.fileOperation()->file();
        const auto id = *file.syncFileID().remoteID();
        const auto* listed = server.at(id);
        if (!listed) {
            // Left out of a listing is not proven unchanged: the delete waits
            // for a listing that shows the item (or a remote phase that finds
            // it gone and lets its record go).
            unseen.insert(id);
            continue;
        }
        const auto* record = records.at(id);
        if (!isFolder(file)) {
            if (record && changedSince(*record, *listed))
                kept.insert(id);
            continue;
        }
        const auto known = records.subtree(id);
        if (std::ranges::any_of(known, [&](std::int64_t below) { return !server.at(below); })) {
            // Something recorded below it is not listed: what the server has
            // there now is unknown, and the folder goes with all of it.
            unseen.insert(id);
            continue;
        }
        IDs changed;
        for (auto below : server.subtree(id)) {
            const auto* item = server.at(below);
            const auto* was = records.at(below);
            if (!known.contains(below) || !was || changedSince(*was, *item))
                changed.insert(below);
        }
        if (changed.empty())
            continue;
        // The changed items and every folder between them and the deleted one stay.
        for (auto item : changed) {
            for (auto at = item; !kept.contains(at);) {
                kept.insert(at);
                if (at == id)
                    break;
                const auto* up = server.at(at);
                auto parent = up ? up->syncParentID().remoteID() : std::nullopt;
                if (!parent || !server.at(*parent))
                    break;
                at = *parent;
            }
        }
        for (auto below : known) {
            const auto* was = records.at(below);
            auto parent = was ? was->syncParentID().remoteID() : std::nullopt;
            if (!kept.contains(below) && parent && kept.contains(*parent) && known.contains(*parent))
                deletedApart.insert(below);
        }
    }
    if (kept.empty() && unseen.empty())
        return { std::move(changes), {} };

    GuardedDeletes guarded;
    guarded.changes.reserve(changes.size());
    for (auto& change : changes) {
        const auto& operation = change.fileOperation();
        auto id = operation && operation->isDelete() ? operation->file()->syncFileID().remoteID() : std::nullopt;
        if (id && unseen.contains(*id) && isServerDelete(change))
            continue;
        if (id && kept.contains(*id)) {
            if (auto record = records.byID.find(*id); record != records.byID.end())
                guarded.forgotten.push_back(record->second);
            continue;
        }
        if (id && deletedApart.contains(*id) && change.kind() == Change::Kind::Local) {
            // Its folder stays on the server: it goes there on its own.
            guarded.changes.push_back(server.at(*id) ? remoteDelete(operation->file()) : std::move(change));
            continue;
        }
        guarded.changes.push_back(std::move(change));
    }
    return guarded;
}

} // namespace Sync
