// How every change reaches the tree: rows gathered in a `Change`, written in
// one transaction, and only then mirrored in memory with new etags.

#include "LocalCloud/Tree/FileTree.hpp"

#include <cstdio>

namespace LocalCloud {

ItemRecord& FileTree::working(Change& change, std::int64_t identifier) const
{
    auto found = change.upserts.find(identifier);
    if (found != change.upserts.end())
        return found->second;
    return change.upserts.emplace(identifier, m_nodes.at(identifier).record).first->second;
}

void FileTree::stamp(ItemRecord& record)
{
    char etag[17];
    std::snprintf(etag, sizeof etag, "%016llx", static_cast<unsigned long long>(m_random()));
    record.etag = etag;
    record.changed = m_clock.seconds();
}

void FileTree::touchFolderChain(Change& change, std::int64_t folderID)
{
    // A walk up the parents, never a scan of the tree.
    for (auto current = folderID; current != 0 && m_nodes.contains(current);) {
        auto& record = working(change, current);
        stamp(record);
        current = record.parentID;
    }
}

std::int64_t FileTree::newIdentifier(Change& change)
{
    change.identifiersUsed = true;
    return ++m_lastIdentifier;
}

std::expected<void, ServiceError> FileTree::commit(Change change)
{
    auto written = m_database.write([&]() -> std::expected<void, Platform::DatabaseError> {
        for (const auto& identifier : change.removals) {
            if (auto removed = m_database.remove<ItemRecord>(identifier); !removed)
                return std::unexpected(removed.error());
        }
        for (const auto& [identifier, record] : change.upserts) {
            if (auto stored = m_database.add(record); !stored)
                return stored;
        }
        if (change.identifiersUsed)
            return m_database.add(CounterRecord { "item", m_lastIdentifier });
        return {};
    });
    if (!written)
        return std::unexpected(ServiceErrors::databaseFailure(written.error()));
    for (const auto& identifier : change.removals) {
        if (auto found = m_nodes.find(identifier); found != m_nodes.end()) {
            detach(found->second.record);
            m_nodes.erase(found);
        }
    }
    // Ascending identifiers: a folder made in this change is attached before what it holds.
    for (auto& [identifier, record] : change.upserts) {
        auto found = m_nodes.find(identifier);
        if (found != m_nodes.end()) {
            detach(found->second.record);
            found->second.record = std::move(record);
            attach(found->second.record);
        } else {
            auto& node = m_nodes[identifier];
            node.record = std::move(record);
            attach(node.record);
        }
    }
    return {};
}

void FileTree::attach(const ItemRecord& record)
{
    if (record.parentID == 0) {
        m_roots[record.account] = record.id;
        return;
    }
    if (!record.listed()) {
        m_pending[{ record.parentID, key(record.name) }] = record.id;
        return;
    }
    if (auto parent = m_nodes.find(record.parentID); parent != m_nodes.end())
        parent->second.children[key(record.name)] = record.id;
    if (!record.folder())
        m_used[record.account] += record.size;
}

void FileTree::detach(const ItemRecord& record)
{
    if (record.parentID == 0) {
        m_roots.erase(record.account);
        return;
    }
    if (!record.listed()) {
        auto found = m_pending.find({ record.parentID, key(record.name) });
        if (found != m_pending.end() && found->second == record.id)
            m_pending.erase(found);
        return;
    }
    if (auto parent = m_nodes.find(record.parentID); parent != m_nodes.end()) {
        auto child = parent->second.children.find(key(record.name));
        if (child != parent->second.children.end() && child->second == record.id)
            parent->second.children.erase(child);
    }
    if (!record.folder())
        m_used[record.account] -= record.size;
}

} // namespace LocalCloud
