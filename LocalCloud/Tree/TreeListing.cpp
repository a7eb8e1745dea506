// What the routes read of the tree: single items, folder listings, searches
// and the bytes an account uses.

#include "LocalCloud/Tree/FileTree.hpp"

namespace LocalCloud {

FileView FileTree::view(std::int64_t identifier) const
{
    const auto& record = m_nodes.at(identifier).record;
    return { record, pathOf(identifier), mayShare(record, false), mayShare(record, true) };
}

void FileTree::walk(std::int64_t folderID, const std::string& folderPath,
    const std::function<bool(const ItemRecord&, const std::string&)>& visit) const
{
    for (const auto& [name, child] : m_nodes.at(folderID).children) {
        const auto& record = m_nodes.at(child).record;
        std::string path = folderPath + record.name;
        if (record.folder())
            path += '/';
        if (!visit(record, path))
            return;
        if (record.folder())
            walk(child, path, visit);
    }
}

std::expected<FileView, ServiceError> FileTree::root(const std::string& account)
{
    std::lock_guard lock(m_mutex);
    auto identifier = rootID(account);
    if (!identifier)
        return std::unexpected(identifier.error());
    return view(*identifier);
}

std::expected<FileView, ServiceError> FileTree::file(const std::string& account, std::int64_t identifier)
{
    std::lock_guard lock(m_mutex);
    if (!listedNode(account, identifier))
        return std::unexpected(ServiceErrors::fileNotFound());
    return view(identifier);
}

std::expected<std::vector<FileView>, ServiceError> FileTree::children(const std::string& account,
    std::optional<std::int64_t> folderID, bool recursive)
{
    std::lock_guard lock(m_mutex);
    auto root = rootID(account);
    if (!root)
        return std::unexpected(root.error());
    auto identifier = folderID.value_or(*root);
    auto* folder = listedNode(account, identifier);
    if (!folder)
        return std::unexpected(ServiceErrors::fileNotFound());
    if (!folder->record.folder())
        return std::unexpected(ServiceErrors::notAllowed());
    std::vector<FileView> views;
    walk(identifier, pathOf(identifier), [&](const ItemRecord& record, const std::string& path) {
        views.push_back({ record, path });
        return true;
    });
    if (!recursive) {
        std::erase_if(views, [&](const FileView& entry) { return entry.record.parentID != identifier; });
    }
    return views;
}

std::expected<std::vector<FileView>, ServiceError> FileTree::select(const std::string& account,
    const std::function<bool(const ItemRecord&)>& accept, std::optional<std::string> folderPath, std::size_t limit)
{
    std::lock_guard lock(m_mutex);
    auto root = rootID(account);
    if (!root)
        return std::unexpected(root.error());
    auto folder = *root;
    if (folderPath && *folderPath != "/") {
        // "/a/b/" or "/a/b": each component a listed folder.
        std::size_t position = 0;
        const auto& text = *folderPath;
        while (position < text.size()) {
            if (text[position] == '/') {
                ++position;
                continue;
            }
            auto end = text.find('/', position);
            if (end == std::string::npos)
                end = text.size();
            auto child = childNamed(folder, text.substr(position, end - position));
            if (child == 0 || !m_nodes.at(child).record.folder())
                return std::unexpected(ServiceErrors::fileNotFound());
            folder = child;
            position = end;
        }
    }
    std::vector<FileView> views;
    if (limit == 0)
        return views;
    walk(folder, pathOf(folder), [&](const ItemRecord& record, const std::string& path) {
        if (accept(record))
            views.push_back({ record, path });
        return views.size() < limit;
    });
    return views;
}

std::int64_t FileTree::usedBytes(const std::string& account)
{
    std::lock_guard lock(m_mutex);
    auto found = m_used.find(account);
    return found == m_used.end() ? 0 : found->second;
}

} // namespace LocalCloud
