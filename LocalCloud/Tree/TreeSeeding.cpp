#include "LocalCloud/Tree/TreeSeeding.hpp"

#include "LocalCloud/Tree/FileTree.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <map>
#include <utility>

namespace LocalCloud {

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
    auto timestamp = serviceNow();
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
            ItemRecord record;
            record.id = newIdentifier(change);
            record.account = account;
            record.parentID = folder;
            record.name = name;
            record.created = record.modified = timestamp;
            stamp(record);
            if (!last || isFolder) {
                record.isFolder = 1;
                record.mimeType = folderMimeType;
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
    for (const auto& [identifier, content] : contents) {
        if (!m_contents.write(identifier, *content))
            return std::unexpected(ServiceErrors::internal("Cannot write seeded content"));
    }
    if (!contents.empty() && m_contents.syncWritten())
        return std::unexpected(ServiceErrors::internal("Cannot write seeded content"));
    return commit(std::move(change));
}

} // namespace LocalCloud
