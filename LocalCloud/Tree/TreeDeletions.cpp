// Deletions: an item and all below it removed in one transaction, their contents
// only afterwards, and a tombstone each for the deltas that ask what went.

#include "LocalCloud/Tree/FileTree.hpp"

#include <algorithm>

namespace LocalCloud {

void FileTree::collect(std::int64_t identifier, std::vector<std::int64_t>& identifiers) const
{
    identifiers.push_back(identifier);
    const auto& node = m_nodes.at(identifier);
    if (!node.record.folder())
        return;
    for (const auto& [name, child] : node.children)
        collect(child, identifiers);
    for (auto pending = m_pending.lower_bound({ identifier, std::string() });
         pending != m_pending.end() && pending->first.first == identifier; ++pending)
        identifiers.push_back(pending->second);
}

DeleteOutcome FileTree::remove(const std::string& account, const std::vector<std::int64_t>& identifiers)
{
    std::lock_guard lock(m_mutex);
    DeleteOutcome outcome;
    for (auto identifier : identifiers) {
        if (std::ranges::find(outcome.deleted, identifier) != outcome.deleted.end())
            continue;
        auto* node = listedNode(account, identifier);
        if (!node) {
            outcome.errors.push_back(ServiceErrors::fileNotFound());
            continue;
        }
        if (node->record.parentID == 0) {
            outcome.errors.push_back(ServiceErrors::notAllowed());
            continue;
        }
        Change change;
        collect(identifier, change.removals);
        touchFolderChain(change, node->record.parentID);
        std::vector<std::int64_t> contents;
        std::vector<FileView> removedViews;
        for (auto removed : change.removals) {
            const auto& record = m_nodes.at(removed).record;
            if (!record.folder())
                contents.push_back(removed);
            if (record.listed())
                removedViews.push_back(view(removed));
        }
        if (auto committed = commit(std::move(change)); !committed) {
            outcome.errors.push_back(committed.error());
            continue;
        }
        auto now = m_clock.seconds();
        for (auto& removedView : removedViews)
            m_tombstones.push_back({ account, DeletedFile { std::move(removedView), now } });
        while (!m_tombstones.empty()
            && (m_tombstones.size() > maximumTombstones || m_tombstones.front().second.deleted < now - tombstoneSeconds))
            m_tombstones.pop_front();
        // The rows are gone for good; only now may their contents go.
        for (auto removed : contents)
            m_contents.remove(removed);
        outcome.deleted.push_back(identifier);
    }
    return outcome;
}

std::vector<DeletedFile> FileTree::deletedSince(const std::string& account, std::int64_t since)
{
    std::lock_guard lock(m_mutex);
    std::vector<DeletedFile> deleted;
    for (const auto& [owner, file] : m_tombstones) {
        if (owner == account && file.deleted >= since && file.deleted >= m_clock.seconds() - tombstoneSeconds)
            deleted.push_back(file);
    }
    return deleted;
}

} // namespace LocalCloud
