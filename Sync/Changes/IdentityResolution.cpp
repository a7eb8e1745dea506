#include "Sync/Changes/IdentityResolution.hpp"

#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Changes/FlatTable.hpp"
#include "Sync/Changes/ViewScreening.hpp"

#include <deque>
#include <string>

namespace Sync {

namespace {

// A path without its trailing "/": a folder's record and a scanned folder
// may or may not carry one, and nothing else tells two paths apart.
std::string_view withoutTrailingSlash(std::string_view path)
{
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    return path;
}

// The folder `path` lies in, without a trailing "/"; empty for a top-level item.
std::string_view parentOf(std::string_view path)
{
    path = withoutTrailingSlash(path);
    auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

// The keys under which paths meet: ASCII text is its own precomposed form,
// so its key is a view into the path itself; only other paths need a copy,
// kept here as long as the keys are used.
class PathKeys {
public:
    [[nodiscard]] std::string_view key(std::string_view path)
    {
        path = withoutTrailingSlash(path);
        if (Platform::isASCII(path))
            return path;
        return m_normalised.emplace_back(Platform::precomposed(path));
    }

private:
    std::deque<std::string> m_normalised;
};

// Asks the bindings once per path: the scan lists a folder before its
// contents, so the folder's own answer serves as its children's parent.
class Bindings {
public:
    Bindings(const BindingLookup& bound, const IDSet& storedIDs, std::size_t count)
        : m_bound(bound)
        , m_storedIDs(storedIDs)
        , m_known(count)
    {
    }

    [[nodiscard]] std::optional<SyncFileID> at(std::string_view path)
    {
        if (!m_bound)
            return std::nullopt;
        path = withoutTrailingSlash(path);
        auto key = m_keys.key(path);
        if (auto known = m_known.find(key))
            return *known;
        std::optional<SyncFileID> id;
        // A binding to an item the stored state does not know binds nothing.
        if (auto remote = m_bound(path); remote && m_storedIDs.contains(*remote))
            id = SyncFileID::remote(*remote);
        m_known.insert(key, id);
        return id;
    }

private:
    const BindingLookup& m_bound;
    const IDSet& m_storedIDs;
    PathKeys m_keys;
    FlatTable<std::string_view, std::optional<SyncFileID>> m_known;
};

// The stored records by path; of records at one path (screening leaves one)
// the first.
class StoredPaths {
public:
    explicit StoredPaths(const std::vector<FileRef>& files)
        : m_byPath(files.size())
    {
        for (const auto& file : files)
            m_byPath.insert(m_keys.key(file->path()), file.get());
    }

    // The record at `path` of the same kind (folder or not), or nullptr.
    [[nodiscard]] const File* at(std::string_view path, bool folder)
    {
        auto found = m_byPath.find(m_keys.key(path));
        return found && isFolder(**found) == folder ? *found : nullptr;
    }

private:
    PathKeys m_keys;
    FlatTable<std::string_view, const File*> m_byPath;
};

} // namespace

ResolvedViews resolveIdentities(std::vector<std::shared_ptr<FileWrapperItem>> scanned,
    const std::vector<FileRef>& storedFiles, std::int64_t rootFolderID, const BindingLookup& bound)
{
    IDSet storedIDs(storedFiles.size());
    for (const auto& file : storedFiles)
        if (auto id = file->syncFileID().remoteID())
            storedIDs.insert(*id, true);

    // Bindings first: they survive renames and moves, and they decide which
    // of two twins keeps its place.
    {
        Bindings bindings(bound, storedIDs, scanned.size());
        for (const auto& item : scanned) {
            auto parent = parentOf(item->path());
            if (parent.empty())
                item->setSyncParentID(SyncFileID::remote(rootFolderID));
            if (auto own = bindings.at(item->path()))
                item->setSyncFileID(*own);
            if (!parent.empty())
                if (auto parentID = bindings.at(parent))
                    item->setSyncParentID(*parentID);
        }
    }

    std::vector<FileRef> diskFiles(scanned.begin(), scanned.end());
    auto screened = screenDiskFiles(diskFiles);
    IDSet boundIDs(screened.files.size());
    for (const auto& file : screened.files)
        if (auto id = file->syncFileID().remoteID())
            boundIDs.insert(*id, true);
    ResolvedViews views { std::move(screened.files), std::move(screened.twins),
        screenStoredFiles(storedFiles, rootFolderID, {}, [&](std::int64_t id) { return boundIDs.contains(id); }) };
    if (views.storedFiles.empty())
        return views;

    // Then the paths, for the kept items the bindings left without an
    // identity. A record another item is bound to moved away with that item
    // (a file renamed and a new one saved under the old name): its id is not
    // taken twice, or the new item's content would replace the moved one's.
    // The kept items stand in scan order, so a walk along the scan finds
    // each one's own record.
    std::optional<StoredPaths> byPath;
    auto item = scanned.begin();
    for (const auto& file : views.diskFiles) {
        while (item->get() != file.get())
            ++item;
        auto& kept = **item;
        if (kept.syncFileID().isRemote() && kept.syncParentID().isRemote())
            continue;
        // Built only once an item needs it: with every item bound, none does.
        if (!byPath)
            byPath.emplace(views.storedFiles);
        auto unbound = [&](const File* stored) {
            return stored && !boundIDs.contains(*stored->syncFileID().remoteID()) ? stored : nullptr;
        };
        if (kept.syncFileID().isLocal())
            if (auto stored = unbound(byPath->at(kept.path(), isFolder(kept)))) {
                kept.setSyncFileID(stored->syncFileID());
                kept.setSyncParentID(stored->syncParentID());
            }
        if (kept.syncParentID().isLocal())
            if (auto folder = unbound(byPath->at(parentOf(kept.path()), true)))
                kept.setSyncParentID(folder->syncFileID());
    }
    return views;
}

} // namespace Sync
