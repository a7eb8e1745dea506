// New items the service makes itself: an account's root on first use,
// folders, and the test control that seeds a whole tree at once. Uploaded
// files come through announcements instead (TreeContent.cpp).

#include "LocalCloud/Tree/FileTree.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <map>
#include <utility>

namespace LocalCloud {

namespace {

// What a seeded file is taken for, by its extension.
std::string seedMimeType(const std::string& name)
{
    static const std::pair<const char*, const char*> types[] = {
        { ".txt", "text/plain" }, { ".pdf", "application/pdf" }, { ".png", "image/png" },
        { ".jpg", "image/jpeg" }, { ".mp3", "audio/mpeg" },
    };
    for (const auto& [extension, type] : types) {
        if (name.ends_with(extension))
            return type;
    }
    return "application/octet-stream";
}

// The names along an entry's path, without empty ones; none for the root.
std::vector<std::string> seedPathComponents(const std::string& path)
{
    std::vector<std::string> components;
    for (std::size_t position = 0; position < path.size();) {
        auto end = path.find('/', position);
        if (end == std::string::npos)
            end = path.size();
        if (end > position)
            components.push_back(path.substr(position, end - position));
        position = end + 1;
    }
    return components;
}

} // namespace

ItemRecord FileTree::newItem(Change& change, const std::string& account, std::int64_t parentID,
    const std::string& name, bool isFolder, std::int64_t created)
{
    ItemRecord record;
    record.id = newIdentifier(change);
    record.account = account;
    record.parentID = parentID;
    record.name = name;
    if (isFolder) {
        record.isFolder = 1;
        record.mimeType = folderMimeType;
    }
    record.created = record.modified = created;
    stamp(record);
    return record;
}

std::expected<std::int64_t, ServiceError> FileTree::rootID(const std::string& account)
{
    if (auto found = m_roots.find(account); found != m_roots.end())
        return found->second;
    Change change;
    auto root = newItem(change, account, 0, std::string(), true, m_clock.seconds());
    change.upserts[root.id] = root;
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return root.id;
}

std::expected<FileView, ServiceError> FileTree::createFolder(const std::string& account,
    std::optional<std::int64_t> parentID, const std::string& name)
{
    std::lock_guard lock(m_mutex);
    auto root = rootID(account);
    if (!root)
        return std::unexpected(root.error());
    auto* parent = listedNode(account, parentID.value_or(*root));
    if (!parent)
        return std::unexpected(ServiceErrors::fileNotFound());
    if (!parent->record.folder())
        return std::unexpected(ServiceErrors::notAllowed());
    if (auto problem = nameProblem(name))
        return std::unexpected(*problem);
    if (auto problem = placementProblem(parent->record.id, name, 1))
        return std::unexpected(*problem);
    Change change;
    auto folder = newItem(change, account, parent->record.id, name, true, m_clock.seconds());
    change.upserts[folder.id] = folder;
    touchFolderChain(change, folder.parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(folder.id);
}

std::expected<void, ServiceError> FileTree::seed(const std::string& account, const std::vector<SeedEntry>& entries)
{
    std::lock_guard lock(m_mutex);
    auto root = rootID(account);
    if (!root)
        return std::unexpected(root.error());
    Change change;
    // Folders made in this change, by parent and precomposed name.
    std::map<std::pair<std::int64_t, std::string>, std::int64_t> made;
    std::vector<std::pair<std::int64_t, const std::string*>> contents;
    auto childOf = [&](std::int64_t folder, const std::string& name) -> std::int64_t {
        if (auto found = made.find({ folder, key(name) }); found != made.end())
            return found->second;
        return m_nodes.contains(folder) ? childNamed(folder, name) : 0;
    };
    auto timestamp = m_clock.seconds();
    for (const auto& entry : entries) {
        bool isFolder = entry.path.ends_with('/');
        auto components = seedPathComponents(entry.path);
        if (components.empty())
            continue;
        auto folder = *root;
        for (std::size_t index = 0; index < components.size(); ++index) {
            const auto& name = components[index];
            if (auto problem = nameProblem(name))
                return std::unexpected(*problem);
            bool last = index + 1 == components.size();
            auto existing = childOf(folder, name);
            if (existing != 0 && (!last || isFolder)) {
                folder = existing;
                continue;
            }
            if (existing != 0)
                return std::unexpected(ServiceErrors::fileExists());
            bool makesFolder = !last || isFolder;
            auto record = newItem(change, account, folder, name, makesFolder, timestamp);
            if (makesFolder) {
                made[{ folder, key(name) }] = record.id;
            } else {
                record.size = static_cast<std::int64_t>(entry.content.size());
                record.hash = Platform::sha1Hex(entry.content);
                record.mimeType = seedMimeType(name);
                contents.emplace_back(record.id, &entry.content);
            }
            if (m_nodes.contains(folder))
                touchFolderChain(change, folder);
            change.upserts[record.id] = record;
            folder = record.id;
        }
    }
    // The contents are durable before the rows that name them are written.
    for (const auto& [identifier, content] : contents) {
        if (!m_contents.write(identifier, *content))
            return std::unexpected(ServiceErrors::internal("Cannot write seeded content"));
    }
    if (!contents.empty() && m_contents.syncWritten())
        return std::unexpected(ServiceErrors::internal("Cannot write seeded content"));
    return commit(std::move(change));
}

} // namespace LocalCloud
