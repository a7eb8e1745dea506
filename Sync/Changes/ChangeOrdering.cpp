#include "Sync/Changes/ChangeOrdering.hpp"

#include "Platform/Foundation/Unicode.hpp"

#include <queue>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>

namespace Sync {

namespace {

// Whether `path` lies inside the folder at `folder` (with or without its trailing "/").
bool isBelow(std::string_view path, std::string_view folder)
{
    const auto inside = std::string(withoutTrailingSlash(folder)) + "/";
    return Platform::canonicallyHasPrefix(path, inside)
        && !Platform::canonicallyEqual(withoutTrailingSlash(path), withoutTrailingSlash(folder));
}

} // namespace

bool mayPrecede(const Change& a, const Change& b)
{
    const auto& first = a.fileOperation();
    const auto& second = b.fileOperation();
    if (!first || !second)
        return true;

    if (first->isMove() && second->isDelete())
        return !Platform::canonicallyEqual(first->file()->path(), second->file()->path());
    if (first->isDelete() && isFolder(*first->file()) && second->isMove())
        return !Platform::canonicallyHasPrefix(second->from()->path(), first->file()->path());
    if (first->isMove() && second->isMove())
        return !Platform::canonicallyHasPrefix(first->from()->path(), second->from()->path());
    // An item of another kind taking the place of a deleted one (a folder
    // replaced by a file of its name): the place is free only after the delete.
    if (first->kind() == FileOperation::Kind::Create && second->isDelete())
        return !Platform::canonicallyEqual(withoutTrailingSlash(first->file()->path()),
            withoutTrailingSlash(second->file()->path()));
    // An item created in a folder that is moved: the folder is the moved one
    // only after the move, and before it the item would be created where the
    // other side still has the folder.
    if (first->kind() == FileOperation::Kind::Create && second->isMove())
        return !isBelow(first->file()->path(), second->file()->path());
    return true;
}

std::vector<Change> orderedChanges(std::vector<Change> assembled)
{
    if (assembled.size() < literalOrderingLimit)
        return insertionOrderedChanges(std::move(assembled));
    return relationOrderedChanges(std::move(assembled));
}

std::vector<Change> insertionOrderedChanges(std::vector<Change> assembled)
{
    std::vector<Change> result;
    result.reserve(assembled.size());
    for (auto& change : assembled) {
        auto position = result.size();
        while (position > 0 && mayPrecede(change, result[position - 1]))
            --position;
        result.insert(result.begin() + static_cast<std::ptrdiff_t>(position), std::move(change));
    }
    return result;
}

namespace {

// Paths of the changes that take part in a relation, precomposed, with the
// indices of the changes that carry each path in assembled order.
// Lets the index be probed with string views of prefixes without copying them.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

struct PathIndex {
    std::unordered_map<std::string, std::vector<std::size_t>, TextHash, std::equal_to<>> indices;
    std::set<std::size_t> lengths;

    void add(std::string path, std::size_t index)
    {
        lengths.insert(path.size());
        indices[std::move(path)].push_back(index);
    }

    // Calls `visit` for each indexed path that `text` begins with (canonical
    // prefix), with the changes that carry it.
    template<typename Visit>
    void forEachPrefix(std::string_view text, Visit&& visit) const
    {
        for (auto length : lengths) {
            if (length > text.size())
                break;
            auto found = indices.find(text.substr(0, length));
            if (found != indices.end() && Platform::canonicallyHasPrefix(text, found->first))
                visit(found->first, found->second);
        }
    }
};

// Kahn's algorithm, always taking the ready change that came first; a cycle is
// broken by taking the first change not yet placed. Changes ready from the
// start are taken by a cursor in index order, so only changes released by a
// relation pass through the heap: O(n + r log r) for r relations.
std::vector<std::size_t> topologicalOrder(const std::vector<std::vector<std::size_t>>& successors)
{
    auto count = successors.size();
    std::vector<std::size_t> incoming(count, 0);
    for (const auto& targets : successors)
        for (auto target : targets)
            ++incoming[target];

    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> released;
    std::vector<bool> placed(count, false);
    std::vector<std::size_t> order;
    order.reserve(count);
    std::size_t cursor = 0;
    std::size_t firstUnplaced = 0;

    auto place = [&](std::size_t index) {
        placed[index] = true;
        order.push_back(index);
        for (auto target : successors[index])
            if (--incoming[target] == 0 && !placed[target] && target < cursor)
                // Behind the cursor, so the cursor will not see it again.
                released.push(target);
    };

    while (order.size() < count) {
        while (cursor < count && (placed[cursor] || incoming[cursor] != 0))
            ++cursor;
        while (!released.empty() && placed[released.top()])
            released.pop();
        bool fromCursor = cursor < count;
        bool fromHeap = !released.empty();
        if (fromHeap && (!fromCursor || released.top() < cursor)) {
            auto index = released.top();
            released.pop();
            place(index);
        } else if (fromCursor) {
            place(cursor++);
        } else {
            // Only changes waiting on each other are left: a cycle.
            while (placed[firstUnplaced])
                ++firstUnplaced;
            place(firstUnplaced);
        }
    }
    return order;
}

} // namespace

std::vector<Change> relationOrderedChanges(std::vector<Change> assembled)
{
    auto count = assembled.size();
    PathIndex deletedPaths; // every delete, by its file's path
    PathIndex deletedFolderPaths; // deletes of folders, by path
    PathIndex moveSources; // moves, by the source path
    PathIndex deletedPlaces; // every delete, by its file's path without a trailing "/"
    PathIndex moveTargets; // moves, by the destination path with a trailing "/"
    for (std::size_t index = 0; index < count; ++index) {
        const auto& operation = assembled[index].fileOperation();
        if (!operation)
            continue;
        if (operation->isDelete()) {
            deletedPlaces.add(Platform::precomposed(withoutTrailingSlash(operation->file()->path())), index);
            auto path = Platform::precomposed(operation->file()->path());
            if (isFolder(*operation->file()))
                deletedFolderPaths.add(path, index);
            deletedPaths.add(std::move(path), index);
        } else if (operation->isMove()) {
            moveSources.add(Platform::precomposed(operation->from()->path()), index);
            moveTargets.add(Platform::precomposed(withoutTrailingSlash(operation->file()->path())) + "/", index);
        }
    }

    // successors[y] holds x when y has to stand before x.
    std::vector<std::vector<std::size_t>> successors(count);
    for (std::size_t index = 0; index < count; ++index) {
        const auto& operation = assembled[index].fileOperation();
        if (operation && operation->kind() == FileOperation::Kind::Create) {
            const auto path = Platform::precomposed(operation->file()->path());
            // A delete stands before a create in its place.
            auto place = deletedPlaces.indices.find(withoutTrailingSlash(path));
            if (place != deletedPlaces.indices.end())
                for (auto deletion : place->second)
                    successors[deletion].push_back(index);
            // A move stands before a create inside the folder it moves.
            moveTargets.forEachPrefix(path, [&](const std::string& prefix, const std::vector<std::size_t>& moves) {
                if (prefix.size() == path.size())
                    return;
                for (auto move : moves)
                    successors[move].push_back(index);
            });
        }
        if (!operation || !operation->isMove())
            continue;
        // A delete stands before a move onto its path.
        auto target = deletedPaths.indices.find(Platform::precomposed(operation->file()->path()));
        if (target != deletedPaths.indices.end())
            for (auto deletion : target->second)
                successors[deletion].push_back(index);

        auto source = Platform::precomposed(operation->from()->path());
        // A move out of a deleted folder stands before the folder's delete.
        deletedFolderPaths.forEachPrefix(source, [&](const std::string&, const std::vector<std::size_t>& deletions) {
            for (auto deletion : deletions)
                successors[index].push_back(deletion);
        });
        // A move of a containing path stands before the moves beneath it.
        // Moves of one and the same path keep their assembled order: each
        // follows the one assembled just before it.
        moveSources.forEachPrefix(source, [&](const std::string& prefix, const std::vector<std::size_t>& moves) {
            if (prefix.size() == source.size()) {
                auto position = std::find(moves.begin(), moves.end(), index);
                if (position != moves.begin())
                    successors[*(position - 1)].push_back(index);
                return;
            }
            for (auto move : moves)
                successors[move].push_back(index);
        });
    }

    std::vector<Change> result;
    result.reserve(count);
    for (auto index : topologicalOrder(successors))
        result.push_back(std::move(assembled[index]));
    return result;
}

} // namespace Sync
