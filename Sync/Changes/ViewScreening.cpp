#include "Sync/Changes/ViewScreening.hpp"

#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"

#include <string>
#include <string_view>
#include <unordered_map>

namespace Sync {

namespace {

// Keeps one entry per twin key: the first of the highest `rank`. Answers
// which indices are kept, and leaves the position of each key's keeper in
// `keeperAt`. `entry(position)` names the candidates in order, as an index
// into `files` and its key; the table's slots are asked for some entries
// ahead, so that a slot's cache line is there when its key comes.
template<class Entry, class Rank>
std::vector<bool> keepOnePerPath(const std::vector<FileRef>& files, std::size_t count, const Entry& entry,
    const Rank& rank, TwinKeyTable& keeperAt)
{
    std::vector<bool> kept(files.size(), false);
    auto keyAt = [&](std::uint32_t position) { return entry(position).text(); };
    for (std::size_t position = 0; position < count; ++position) {
        if (position + prefetchDistance < count)
            keeperAt.prefetch(entry(position + prefetchDistance).hash);
        const KeyedEntry candidate = entry(position);
        const auto key = candidate.key();
        auto [keeper, inserted] = keeperAt.insert(key.key, key.hash, static_cast<std::uint32_t>(position), keyAt);
        if (inserted) {
            kept[candidate.index] = true;
        } else if (const std::size_t current = entry(*keeper).index;
                   rank(*files[candidate.index]) > rank(*files[current])) {
            kept[current] = false;
            kept[candidate.index] = true;
            *keeper = static_cast<std::uint32_t>(position);
        }
    }
    return kept;
}

template<class Rank>
std::vector<bool> keepOnePerPath(const std::vector<FileRef>& files, const std::vector<KeyedEntry>& keyed,
    const Rank& rank, TwinKeyTable& keeperAt)
{
    return keepOnePerPath(files, keyed.size(), [&](std::size_t position) { return keyed[position]; }, rank, keeperAt);
}

} // namespace

std::string_view TwinKeys::key(std::string_view path)
{
    path = withoutTrailingSlash(path);
    if (Platform::isASCII(path))
        return path;
    return m_normalised.emplace_back(Platform::precomposed(path));
}

TwinKey TwinKeys::keyed(std::string_view path)
{
    auto text = key(path);
    return { text, TwinKeyTable::hash(text) };
}

bool namesCloudFolder(const File& file, std::int64_t rootFolderID)
{
    if (file.syncFileID().remoteID() == rootFolderID || file.fileName().empty())
        return true;
    // Other malformed paths stay in: the change that would use one refuses it.
    return file.path().find_first_not_of('/') == std::string::npos;
}

bool liesInIgnoredName(const std::string& path)
{
    std::string_view rest(path);
    while (!rest.empty()) {
        auto slash = rest.find('/');
        if (FileSystemFileStore::isIgnoredName(rest.substr(0, slash))
            || FileSystemFileStore::isStagingName(rest.substr(0, slash)))
            return true;
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return false;
}

ScreenedView screenListing(std::vector<FileRef> listing, std::int64_t rootFolderID,
    const std::function<bool(std::int64_t)>& isStored)
{
    ScreenedView view;
    enum class Verdict : std::uint8_t { candidate, quiet, refused, duplicate, misplaced };
    std::vector<Verdict> verdicts(listing.size(), Verdict::candidate);
    std::vector<bool> candidates(listing.size(), false);
    // The keys and their table go as soon as the twins are known: the rest
    // of the screening runs beside both views.
    auto kept = [&] {
        TwinKeys keys;
        std::vector<KeyedEntry> keyed;
        keyed.reserve(listing.size());
        for (std::size_t index = 0; index < listing.size(); ++index) {
            const auto& file = *listing[index];
            if (!file.syncFileID().isRemote() || namesCloudFolder(file, rootFolderID)
                || liesInIgnoredName(file.path())) {
                verdicts[index] = Verdict::quiet;
            } else {
                candidates[index] = true;
                keyed.emplace_back(index, keys.keyed(file.path()));
            }
        }
        TwinKeyTable keeperAt(keyed.size());
        return keepOnePerPath(listing, keyed, [&](const File& file) {
            return isStored(*file.syncFileID().remoteID()) ? 1 : 0;
        }, keeperAt);
    }();

    // Which listed folder each id names, for the walk up to the root.
    // Not reserved for the whole listing: folders are few among files.
    std::unordered_map<std::int64_t, std::size_t> folderAt;
    // One item is one entry: a second entry with a kept entry's id is refused.
    std::unordered_set<std::int64_t> keptIDs;
    for (std::size_t index = 0; index < listing.size(); ++index) {
        const auto& file = *listing[index];
        if (candidates[index] && !kept[index])
            verdicts[index] = Verdict::refused;
        else if (candidates[index] && !keptIDs.insert(*file.syncFileID().remoteID()).second)
            verdicts[index] = Verdict::duplicate;
        if (auto id = file.syncFileID().remoteID(); id && isFolder(file) && verdicts[index] != Verdict::duplicate)
            folderAt.try_emplace(*id, index);
    }
    // A path must say where the entry is: its parent's path and its name.
    // One that does not would be placed somewhere its parent is not, with
    // folders made up for it.
    for (std::size_t index = 0; index < listing.size(); ++index) {
        if (verdicts[index] != Verdict::candidate)
            continue;
        const auto& file = *listing[index];
        // A malformed path is refused where it would be used, as unsafe.
        if (!Platform::PathResolver::components(file.path()))
            continue;
        auto parent = file.syncParentID().remoteID();
        std::string_view parentPath;
        if (parent == rootFolderID) {
            parentPath = "/";
        } else if (auto folder = parent ? folderAt.find(*parent) : folderAt.end();
                   folder != folderAt.end() && verdicts[folder->second] == Verdict::candidate) {
            parentPath = listing[folder->second]->path();
        } else {
            continue; // No parent that is kept: an orphan, found below.
        }
        std::string expected(parentPath);
        if (!expected.ends_with('/'))
            expected += '/';
        expected += file.fileName();
        if (!Platform::canonicallyEqual(withoutTrailingSlash(file.path()), withoutTrailingSlash(expected)))
            verdicts[index] = Verdict::misplaced;
    }
    // Whether an entry's parents lead up to the root through kept folders;
    // an entry below an ignored folder is left out quietly like the folder.
    enum class Reach : std::uint8_t { unknown, visiting, root, ignored, broken };
    std::vector<Reach> reach(listing.size(), Reach::unknown);
    std::function<Reach(std::size_t)> reachOf = [&](std::size_t index) -> Reach {
        if (reach[index] != Reach::unknown)
            return reach[index] == Reach::visiting ? Reach::broken : reach[index];
        if (verdicts[index] == Verdict::quiet && liesInIgnoredName(listing[index]->path()))
            return reach[index] = Reach::ignored;
        if (verdicts[index] != Verdict::candidate)
            return reach[index] = Reach::broken;
        reach[index] = Reach::visiting;
        auto parent = listing[index]->syncParentID().remoteID();
        Reach result = Reach::broken;
        if (parent == rootFolderID) {
            result = Reach::root;
        } else if (auto folder = parent ? folderAt.find(*parent) : folderAt.end(); folder != folderAt.end()) {
            result = reachOf(folder->second);
        }
        return reach[index] = result;
    };

    // Every walk up is done before any entry moves: the kept entries move
    // to the front of the listing, which becomes the view.
    for (std::size_t index = 0; index < listing.size(); ++index)
        if (verdicts[index] == Verdict::candidate)
            reachOf(index);
    std::size_t keptCount = 0;
    for (std::size_t index = 0; index < listing.size(); ++index) {
        auto& file = listing[index];
        if (verdicts[index] == Verdict::candidate) {
            switch (reach[index]) {
            case Reach::root:
                if (keptCount != index)
                    listing[keptCount] = std::move(file);
                ++keptCount;
                continue;
            case Reach::broken:
                view.orphans.push_back(file);
                break;
            default:
                break;
            }
        } else if (verdicts[index] == Verdict::refused) {
            view.twins.push_back(file);
        } else if (verdicts[index] == Verdict::duplicate) {
            // Its id stays: the kept entry of that id is what the server has.
            view.duplicates.push_back(file);
            continue;
        } else if (verdicts[index] == Verdict::misplaced) {
            view.misplaced.push_back(file);
        }
        if (auto id = file->syncFileID().remoteID())
            view.withheldIDs.insert(*id);
    }
    listing.resize(keptCount);
    view.files = std::move(listing);
    return view;
}

ScreenedView screenDiskFiles(std::vector<FileRef> diskFiles, const std::vector<TwinKey>& keys)
{
    ScreenedView view;
    TwinKeyTable keeperAt(diskFiles.size());
    // Without a binding, the name in the form the server keeps (NFC) wins:
    // the other one could not take the server's answer.
    auto kept = keepOnePerPath(diskFiles, diskFiles.size(),
        [&](std::size_t index) { return KeyedEntry(index, keys[index]); },
        [](const File& file) {
            if (file.syncFileID().isRemote())
                return 2;
            return Platform::isASCII(file.path()) || Platform::precomposed(file.path()) == file.path() ? 1 : 0;
        },
        keeperAt);
    view.files.reserve(diskFiles.size());
    for (std::size_t index = 0; index < diskFiles.size(); ++index)
        (kept[index] ? view.files : view.twins).push_back(std::move(diskFiles[index]));
    return view;
}

ScreenedRecords::ScreenedRecords(std::size_t count)
    : m_keeperAt(count)
{
}

void ScreenedRecords::prefetchSlot(const TwinKey& key) const
{
    m_keeperAt.prefetch(key.hash);
}

std::uint32_t ScreenedRecords::prefetchEntry(const TwinKey& key) const
{
    auto position = m_keeperAt.probe(key.hash);
    if (!position)
        return noPosition;
    __builtin_prefetch(&m_keyed[*position]);
    return *position;
}

void ScreenedRecords::prefetchKey(std::uint32_t position) const
{
    if (position == noPosition)
        return;
    __builtin_prefetch(m_keyed[position].data);
    __builtin_prefetch(&m_records[m_keyed[position].index]);
}

void ScreenedRecords::prefetchRecord(std::uint32_t position) const
{
    if (position != noPosition)
        prefetchFile(m_records[m_keyed[position].index]);
}

const File* ScreenedRecords::at(const TwinKey& key) const
{
    auto keeper = m_keeperAt.find(key.key, key.hash, [this](std::uint32_t position) { return keyAt(position); });
    return keeper ? m_records[m_keyed[*keeper].index] : nullptr;
}

ScreenedRecords screenStoredRecords(const std::vector<FileRef>& storedFiles, std::int64_t rootFolderID,
    const std::unordered_set<std::int64_t>& withheldIDs, const std::function<bool(std::int64_t)>& keep)
{
    // One walk along the records: whether each takes part, its key, and a
    // share of it (while it is in the cache) for the list of kept records.
    ScreenedRecords records(storedFiles.size());
    auto& keyed = records.m_keyed;
    keyed.reserve(storedFiles.size());
    records.files.reserve(storedFiles.size());
    records.m_records.reserve(storedFiles.size());
    for (std::size_t index = 0; index < storedFiles.size(); ++index) {
        if (index + prefetchDistance < storedFiles.size())
            prefetchFile(storedFiles[index + prefetchDistance].get());
        if (index + prefetchDistance / 2 < storedFiles.size())
            prefetchPath(*storedFiles[index + prefetchDistance / 2]);
        const auto& file = *storedFiles[index];
        records.m_records.push_back(&file);
        auto id = file.syncFileID().remoteID();
        if (id && !withheldIDs.contains(*id) && !namesCloudFolder(file, rootFolderID)
            && !liesInIgnoredName(file.path())) {
            keyed.emplace_back(index, records.m_keys.keyed(file.path()));
            records.files.push_back(storedFiles[index]);
        }
    }
    auto kept = keepOnePerPath(storedFiles, keyed, [&](const File& file) {
        return keep(*file.syncFileID().remoteID()) ? 1 : 0;
    }, records.m_keeperAt);
    std::size_t end = 0;
    for (std::size_t position = 0; position < keyed.size(); ++position)
        if (kept[keyed[position].index])
            records.files[end++] = std::move(records.files[position]);
    records.files.resize(end);
    return records;
}

std::vector<FileRef> screenStoredFiles(const std::vector<FileRef>& storedFiles, std::int64_t rootFolderID,
    const std::unordered_set<std::int64_t>& withheldIDs, const std::function<bool(std::int64_t)>& keep)
{
    return screenStoredRecords(storedFiles, rootFolderID, withheldIDs, keep).files;
}

} // namespace Sync
