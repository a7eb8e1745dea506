// Items that change their place: renames within their folder and moves into another.

#include "LocalCloud/Tree/FileTree.hpp"

namespace LocalCloud {

std::expected<FileView, ServiceError> FileTree::rename(const std::string& account, std::int64_t identifier,
    const std::string& newName)
{
    std::lock_guard lock(m_mutex);
    auto* node = listedNode(account, identifier);
    if (!node)
        return std::unexpected(ServiceErrors::fileNotFound());
    if (node->record.parentID == 0)
        return std::unexpected(ServiceErrors::notAllowed());
    if (auto problem = nameProblem(newName))
        return std::unexpected(*problem);
    if (node->record.name == newName)
        return view(identifier);
    auto parentID = node->record.parentID;
    if (auto problem = placementProblem(parentID, newName, bytesBelow(identifier), identifier))
        return std::unexpected(*problem);
    Change change;
    auto& record = working(change, identifier);
    record.name = newName;
    stamp(record);
    touchFolderChain(change, parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(identifier);
}

MoveOutcome FileTree::move(const std::string& account, const std::vector<std::int64_t>& identifiers,
    std::int64_t destinationID)
{
    std::lock_guard lock(m_mutex);
    MoveOutcome outcome;
    auto* destination = listedNode(account, destinationID);
    for (auto identifier : identifiers) {
        auto* node = listedNode(account, identifier);
        if (!destination || !destination->record.folder() || !node || node->record.parentID == 0) {
            outcome.failed.push_back(identifier);
            continue;
        }
        if (node->record.parentID == destinationID) {
            outcome.moved.push_back(view(identifier));
            continue;
        }
        // A folder never goes into itself or into anything below it.
        bool intoItself = false;
        for (auto current = destinationID; current != 0; current = m_nodes.at(current).record.parentID) {
            if (current == identifier) {
                intoItself = true;
                break;
            }
        }
        if (intoItself
            || placementProblem(destinationID, node->record.name, bytesBelow(identifier), identifier)) {
            outcome.failed.push_back(identifier);
            continue;
        }
        auto oldParent = node->record.parentID;
        Change change;
        auto& record = working(change, identifier);
        record.parentID = destinationID;
        stamp(record);
        touchFolderChain(change, oldParent);
        touchFolderChain(change, destinationID);
        if (!commit(std::move(change))) {
            outcome.failed.push_back(identifier);
            continue;
        }
        outcome.moved.push_back(view(identifier));
    }
    return outcome;
}

} // namespace LocalCloud
