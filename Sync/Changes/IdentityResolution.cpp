#include "Sync/Changes/IdentityResolution.hpp"

#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Changes/FlatTable.hpp"
#include "Sync/Changes/IDTable.hpp"
#include "Sync/Changes/ViewScreening.hpp"

#include <array>
#include <string>

namespace Sync {

namespace {

// The folder `path` lies in, without a trailing "/"; empty for a top-level item.
std::string_view parentOf(std::string_view path)
{
    path = withoutTrailingSlash(path);
    auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

// Asks the bindings once per path: the scan lists a folder before its
// contents, so the folder's own answer serves as its children's parent.
class Bindings {
public:
    Bindings(const BindingLookup& bound, const IDSet& storedIDs, std::size_t count)
        : m_bound(bound)
        , m_storedIDs(storedIDs)
        , m_known(bound ? count : 0)
    {
    }

    [[nodiscard]] std::optional<SyncFileID> at(std::string_view path, const Platform::ChangeStamp* stamp)
    {
        if (!m_bound)
            return std::nullopt;
        path = withoutTrailingSlash(path);
        // Only a key the table keeps needs a lasting copy.
        std::string normalised;
        std::string_view key = path;
        if (!Platform::isASCII(path))
            key = normalised = Platform::precomposed(path);
        if (auto known = m_known.find(key))
            return known->has_value() ? std::optional(SyncFileID::remote(**known)) : std::nullopt;
        auto remote = m_bound(path, stamp);
        // A binding to an item the stored state does not know binds nothing.
        if (remote && !m_storedIDs.contains(*remote))
            remote.reset();
        m_known.insert(m_keys.key(path), remote);
        return remote ? std::optional(SyncFileID::remote(*remote)) : std::nullopt;
    }

private:
    const BindingLookup& m_bound;
    const IDSet& m_storedIDs;
    TwinKeys m_keys;
    FlatTable<std::string_view, std::optional<std::int64_t>> m_known;
};

} // namespace

ResolvedViews resolveIdentities(std::vector<std::shared_ptr<FileWrapperItem>> scanned,
    const std::vector<FileRef>& storedFiles, std::int64_t rootFolderID, const BindingLookup& bound,
    std::vector<Platform::ChangeStamp> stamps)
{
    if (stamps.size() != scanned.size())
        stamps.clear();

    // Bindings first: they survive renames and moves, and they decide which
    // of two twins keeps its place. The same walk takes each item's key, for
    // every table below.
    TwinKeys keys;
    std::vector<FileWrapperItem*> items;
    items.reserve(scanned.size());
    std::vector<TwinKey> itemKeys;
    itemKeys.reserve(scanned.size());
    // What the bindings gave each item, so that no later walk reads the items again.
    enum Found : std::uint8_t { nothing = 0, ownID = 1, parentID = 2 };
    std::vector<std::uint8_t> found;
    found.reserve(scanned.size());
    {
        // Only the bindings need the stored ids: they go with them.
        IDSet storedIDs(bound ? storedFiles.size() : 0);
        if (bound)
            for (const auto& file : storedFiles)
                if (auto id = file->syncFileID().remoteID())
                    storedIDs.insert(*id);
        Bindings bindings(bound, storedIDs, scanned.size());
        for (std::size_t index = 0; index < scanned.size(); ++index) {
            if (index + prefetchDistance < scanned.size())
                prefetchFile(scanned[index + prefetchDistance].get());
            if (index + prefetchDistance / 2 < scanned.size())
                prefetchPath(*scanned[index + prefetchDistance / 2]);
            const auto& item = scanned[index];
            std::uint8_t given = nothing;
            auto parent = parentOf(item->path());
            if (parent.empty()) {
                item->setSyncParentID(SyncFileID::remote(rootFolderID));
                given |= parentID;
            }
            if (auto own = bindings.at(item->path(), stamps.empty() ? nullptr : &stamps[index])) {
                item->setSyncFileID(*own);
                given |= ownID;
            }
            if (!parent.empty())
                if (auto id = bindings.at(parent, nullptr)) {
                    item->setSyncParentID(*id);
                    given |= parentID;
                }
            items.push_back(item.get());
            itemKeys.push_back(keys.keyed(item->path()));
            found.push_back(given);
        }
        // Only the bindings need the stamps: they go with them too.
        std::vector<Platform::ChangeStamp>().swap(stamps);
    }

    auto screened = screenDiskFiles(
        { std::make_move_iterator(scanned.begin()), std::make_move_iterator(scanned.end()) }, itemKeys);
    // The emptied list would stay until the caller's statement ends, beside the tables below.
    std::vector<std::shared_ptr<FileWrapperItem>>().swap(scanned);
    // The kept items stand in scan order, so a walk along the scan finds
    // each one's index.
    std::vector<std::size_t> keptIndices;
    keptIndices.reserve(screened.files.size());
    for (std::size_t index = 0; const auto& file : screened.files) {
        while (items[index] != file.get())
            ++index;
        keptIndices.push_back(index);
    }
    std::size_t boundCount = 0;
    for (auto index : keptIndices)
        boundCount += found[index] & ownID ? 1 : 0;
    IDSet boundIDs(boundCount);
    for (auto index : keptIndices)
        if (found[index] & ownID)
            boundIDs.insert(*items[index]->syncFileID().remoteID());
    auto records = screenStoredRecords(storedFiles, rootFolderID, {},
        [&](std::int64_t id) { return boundIDs.contains(id); });

    // Then the paths, for the kept items the bindings left without an
    // identity. A record another item is bound to moved away with that item
    // (a file renamed and a new one saved under the old name): its id is not
    // taken twice, or two items would act on one item of the server and
    // neither the rename nor the new content would arrive.
    std::vector<std::size_t> wanted;
    wanted.reserve(keptIndices.size());
    for (auto index : keptIndices)
        if (found[index] != (ownID | parentID))
            wanted.push_back(index);
    auto unbound = [&](const File* stored, bool folder) -> const File* {
        return stored && isFolder(*stored) == folder && !boundIDs.contains(*stored->syncFileID().remoteID())
            ? stored
            : nullptr;
    };
    // The records lie anywhere in memory: the loop asks for each one's slot,
    // entry and record in steps three items apart, and keeps the positions
    // the slots named for the later steps. Not far ahead: each item asks for
    // a dozen lines, and at a million items lines asked for much further
    // ahead left the cache again before their turn.
    constexpr std::size_t distance = prefetchDistance / 2;
    constexpr std::size_t step = 3;
    // Read only for items whose slot was probed, or before any was: then it
    // must name no entry.
    std::array<std::uint32_t, 16> positionOf {};
    positionOf.fill(ScreenedRecords::noPosition);
    static_assert(positionOf.size() > 3 * step);
    auto ahead = [&](std::size_t position, std::size_t steps, auto&& ask) {
        if (position + steps * step < wanted.size())
            ask(position + steps * step);
    };
    for (std::size_t position = 0; position < wanted.size(); ++position) {
        ahead(position, 4, [&](std::size_t item) { records.prefetchSlot(itemKeys[wanted[item]]); });
        ahead(position, 3, [&](std::size_t item) {
            positionOf[item % positionOf.size()] = records.prefetchEntry(itemKeys[wanted[item]]);
        });
        ahead(position, 2, [&](std::size_t item) { records.prefetchKey(positionOf[item % positionOf.size()]); });
        ahead(position, 1, [&](std::size_t item) { records.prefetchRecord(positionOf[item % positionOf.size()]); });
        if (position + distance < wanted.size())
            prefetchFile(items[wanted[position + distance]]);
        if (position + distance / 2 < wanted.size())
            prefetchPath(*items[wanted[position + distance / 2]]);
        auto& kept = *items[wanted[position]];
        if (kept.syncFileID().isLocal())
            if (auto stored = unbound(records.at(itemKeys[wanted[position]]), isFolder(kept))) {
                kept.setSyncFileID(stored->syncFileID());
                kept.setSyncParentID(stored->syncParentID());
            }
        if (kept.syncParentID().isLocal())
            if (auto folder = unbound(records.at(keys.keyed(parentOf(kept.path()))), true))
                kept.setSyncParentID(folder->syncFileID());
    }
    return { std::move(screened.files), std::move(screened.twins), std::move(records.files) };
}

} // namespace Sync
