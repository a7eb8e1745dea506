// Names and places: which names may be stored, how a path is found from an
// item and an item from a folder and name, and whether a name fits into a folder.

#include "LocalCloud/Tree/FileTree.hpp"

#include "Platform/Foundation/Unicode.hpp"

#include <algorithm>

namespace LocalCloud {

std::string FileTree::key(const std::string& name)
{
    return Platform::precomposed(name);
}

std::optional<ServiceError> FileTree::nameProblem(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.size() > maximumNameBytes
        || !Platform::isValidUTF8(name))
        return ServiceErrors::invalidFileName();
    for (unsigned char character : name) {
        if (character < 0x20 || character == 0x7f || character == '/')
            return ServiceErrors::invalidFileName();
    }
    return std::nullopt;
}

FileTree::Node* FileTree::listedNode(const std::string& account, std::int64_t identifier)
{
    auto found = m_nodes.find(identifier);
    if (found == m_nodes.end() || found->second.record.account != account || !found->second.record.listed())
        return nullptr;
    return &found->second;
}

std::string FileTree::pathOf(std::int64_t identifier) const
{
    std::vector<const ItemRecord*> chain;
    for (auto current = identifier; current != 0;) {
        auto found = m_nodes.find(current);
        if (found == m_nodes.end())
            break;
        chain.push_back(&found->second.record);
        current = found->second.record.parentID;
    }
    std::string path = "/";
    // The last element is the root, which has no name of its own.
    for (auto element = chain.rbegin() + (chain.empty() ? 0 : 1); element != chain.rend(); ++element) {
        path += (*element)->name;
        if ((*element)->folder())
            path += '/';
    }
    return path;
}

std::int64_t FileTree::childNamed(std::int64_t folderID, const std::string& name) const
{
    auto folder = m_nodes.find(folderID);
    if (folder == m_nodes.end())
        return 0;
    auto child = folder->second.children.find(key(name));
    return child == folder->second.children.end() ? 0 : child->second;
}

std::expected<std::string, ServiceError> FileTree::freeName(std::int64_t folderID, const std::string& name,
    const std::string& hash, std::int64_t ownID) const
{
    // A leading dot starts a name, not an extension (".profile (1)").
    auto dot = name.rfind('.');
    if (dot == 0 || dot == std::string::npos)
        dot = name.size();
    auto stem = name.substr(0, dot);
    auto extension = name.substr(dot);
    for (std::int64_t number = 1;; ++number) {
        auto candidate = stem + " (" + std::to_string(number) + ")" + extension;
        if (auto problem = nameProblem(candidate))
            return std::unexpected(*problem);
        if (childNamed(folderID, candidate) != 0)
            continue;
        if (auto pending = m_pending.find({ folderID, key(candidate) });
            pending != m_pending.end() && pending->second != ownID
            && m_nodes.at(pending->second).record.hash != hash)
            continue;
        if (auto problem = placementProblem(folderID, candidate, 0))
            return std::unexpected(*problem);
        return candidate;
    }
}

std::size_t FileTree::bytesBelow(std::int64_t identifier) const
{
    const auto& node = m_nodes.at(identifier);
    if (!node.record.folder())
        return 0;
    std::size_t deepest = 0;
    for (const auto& [name, child] : node.children)
        deepest = std::max(deepest, m_nodes.at(child).record.name.size() + bytesBelow(child));
    return 1 + deepest;
}

std::optional<ServiceError> FileTree::placementProblem(std::int64_t folderID, const std::string& name,
    std::size_t belowBytes, std::int64_t movingID) const
{
    if (auto taken = childNamed(folderID, name); taken != 0 && taken != movingID)
        return m_nodes.at(taken).record.folder() ? ServiceErrors::folderExists() : ServiceErrors::fileExists();
    if (pathOf(folderID).size() + name.size() + belowBytes > maximumPathBytes)
        return ServiceErrors::pathTooLong();
    return std::nullopt;
}

} // namespace LocalCloud
