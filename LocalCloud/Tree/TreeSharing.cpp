// The share fields of items and the rules on what may be shared: nothing inside
// a privately shared folder, no private share of a folder that holds a share.

#include "LocalCloud/Tree/FileTree.hpp"

namespace LocalCloud {

bool FileTree::insidePrivatelySharedFolder(std::int64_t identifier) const
{
    for (auto current = m_nodes.at(identifier).record.parentID; current != 0;) {
        const auto& record = m_nodes.at(current).record;
        if (record.privateShares > 0)
            return true;
        current = record.parentID;
    }
    return false;
}

bool FileTree::holdsShare(std::int64_t folderID) const
{
    for (const auto& [name, child] : m_nodes.at(folderID).children) {
        const auto& record = m_nodes.at(child).record;
        if (record.shared || record.privateShares > 0 || (record.folder() && holdsShare(child)))
            return true;
    }
    return false;
}

bool FileTree::mayShare(const ItemRecord& record, bool publicLink) const
{
    auto override = publicLink ? record.allowPublic : record.allowPrivate;
    if (override >= 0)
        return override != 0;
    if (record.parentID == 0 || insidePrivatelySharedFolder(record.id))
        return false;
    // A privately shared folder may hold no share, so it cannot become one while it does.
    if (!publicLink && record.folder() && holdsShare(record.id))
        return false;
    // Private shares are for folders; a public link may point at anything but the root.
    return publicLink || record.folder();
}

std::expected<FileView, ServiceError> FileTree::setShared(const std::string& account, std::int64_t identifier,
    bool shared)
{
    std::lock_guard lock(m_mutex);
    auto* node = listedNode(account, identifier);
    if (!node)
        return std::unexpected(ServiceErrors::fileNotFound());
    if ((node->record.shared != 0) == shared)
        return view(identifier);
    Change change;
    auto& record = working(change, identifier);
    record.shared = shared ? 1 : 0;
    stamp(record);
    touchFolderChain(change, record.parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(identifier);
}

std::expected<FileView, ServiceError> FileTree::setShareState(const std::string& account, std::int64_t identifier,
    const ShareState& state)
{
    std::lock_guard lock(m_mutex);
    if (!listedNode(account, identifier))
        return std::unexpected(ServiceErrors::fileNotFound());
    Change change;
    auto& record = working(change, identifier);
    record.shared = state.hasPublicLink ? 1 : 0;
    record.publicValidTo = state.publicValidTo;
    record.privateShares = state.privateShares;
    stamp(record);
    touchFolderChain(change, record.parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(identifier);
}

std::expected<FileView, ServiceError> FileTree::setSharePermissions(const std::string& account,
    std::int64_t identifier, std::int64_t allowPrivate, std::int64_t allowPublic)
{
    std::lock_guard lock(m_mutex);
    if (!listedNode(account, identifier))
        return std::unexpected(ServiceErrors::fileNotFound());
    Change change;
    auto& record = working(change, identifier);
    record.allowPrivate = allowPrivate;
    record.allowPublic = allowPublic;
    // What the listing says of the item changed: the root etag must say so too.
    stamp(record);
    touchFolderChain(change, record.parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(identifier);
}

std::optional<ServiceError> FileTree::shareProblem(const std::string& account, std::int64_t identifier,
    bool publicLink)
{
    std::lock_guard lock(m_mutex);
    auto* node = listedNode(account, identifier);
    if (!node)
        return ServiceErrors::fileNotFound();
    if (mayShare(node->record, publicLink))
        return std::nullopt;
    if (node->record.parentID != 0
        && (insidePrivatelySharedFolder(identifier) || (!publicLink && node->record.folder() && holdsShare(identifier)))
        && (publicLink ? node->record.allowPublic : node->record.allowPrivate) < 0)
        return ServiceErrors::shareInsideSharedFolder();
    return ServiceErrors::notAllowed();
}

} // namespace LocalCloud
