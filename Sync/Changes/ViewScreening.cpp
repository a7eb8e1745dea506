#include "Sync/Changes/ViewScreening.hpp"

#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Sync {

namespace {

// The path under which two entries would land on the same disk item: a view
// into `path` itself when it is ASCII (its own NFC form), else into an NFC
// copy kept in `normalised`.
std::string_view twinKey(const std::string& path, std::deque<std::string>& normalised)
{
    std::string_view trimmed(path);
    while (trimmed.size() > 1 && trimmed.ends_with('/'))
        trimmed.remove_suffix(1);
    if (Platform::isASCII(trimmed))
        return trimmed;
    return normalised.emplace_back(Platform::precomposed(trimmed));
}

// Keeps one entry per twin key: the first of the highest `rank`. Answers
// which indices are kept.
std::vector<bool> keepOnePerPath(const std::vector<FileRef>& files, const std::vector<bool>& candidates,
    const std::function<int(const File&)>& rank)
{
    std::vector<bool> kept(files.size(), false);
    std::deque<std::string> normalised;
    std::unordered_map<std::string_view, std::size_t> keeperAt;
    keeperAt.reserve(files.size());
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (!candidates[index])
            continue;
        auto [found, inserted] = keeperAt.try_emplace(twinKey(files[index]->path(), normalised), index);
        if (inserted) {
            kept[index] = true;
        } else if (rank(*files[index]) > rank(*files[found->second])) {
            kept[found->second] = false;
            kept[index] = true;
            found->second = index;
        }
    }
    return kept;
}

} // namespace

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
        if (FileSystemFileStore::isIgnoredName(rest.substr(0, slash)))
            return true;
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return false;
}

ScreenedView screenListing(const std::vector<FileRef>& listing, std::int64_t rootFolderID,
    const std::function<bool(std::int64_t)>& isStored)
{
    ScreenedView view;
    enum class Verdict : std::uint8_t { candidate, quiet, refused };
    std::vector<Verdict> verdicts(listing.size(), Verdict::candidate);
    std::vector<bool> candidates(listing.size(), false);
    for (std::size_t index = 0; index < listing.size(); ++index) {
        const auto& file = *listing[index];
        if (!file.syncFileID().isRemote() || namesCloudFolder(file, rootFolderID) || liesInIgnoredName(file.path()))
            verdicts[index] = Verdict::quiet;
        else
            candidates[index] = true;
    }
    auto kept = keepOnePerPath(listing, candidates, [&](const File& file) {
        return isStored(*file.syncFileID().remoteID()) ? 1 : 0;
    });

    // Which listed folder each id names, for the walk up to the root.
    std::unordered_map<std::int64_t, std::size_t> folderAt;
    folderAt.reserve(listing.size());
    for (std::size_t index = 0; index < listing.size(); ++index) {
        const auto& file = *listing[index];
        if (auto id = file.syncFileID().remoteID(); id && isFolder(file))
            folderAt.try_emplace(*id, index);
        if (candidates[index] && !kept[index])
            verdicts[index] = Verdict::refused;
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

    view.files.reserve(listing.size());
    for (std::size_t index = 0; index < listing.size(); ++index) {
        const auto& file = listing[index];
        if (verdicts[index] == Verdict::candidate) {
            switch (reachOf(index)) {
            case Reach::root:
                view.files.push_back(file);
                continue;
            case Reach::broken:
                view.orphans.push_back(file);
                break;
            default:
                break;
            }
        } else if (verdicts[index] == Verdict::refused) {
            view.twins.push_back(file);
        }
        if (auto id = file->syncFileID().remoteID())
            view.withheldIDs.insert(*id);
    }
    return view;
}

ScreenedView screenDiskFiles(const std::vector<FileRef>& diskFiles)
{
    ScreenedView view;
    // Without a binding, the name in the form the server keeps (NFC) wins:
    // the other one could not take the server's answer.
    auto kept = keepOnePerPath(diskFiles, std::vector<bool>(diskFiles.size(), true), [](const File& file) {
        if (file.syncFileID().isRemote())
            return 2;
        return Platform::isASCII(file.path()) || Platform::precomposed(file.path()) == file.path() ? 1 : 0;
    });
    view.files.reserve(diskFiles.size());
    for (std::size_t index = 0; index < diskFiles.size(); ++index)
        (kept[index] ? view.files : view.twins).push_back(diskFiles[index]);
    return view;
}

std::vector<FileRef> screenStoredFiles(const std::vector<FileRef>& storedFiles, std::int64_t rootFolderID,
    const std::unordered_set<std::int64_t>& withheldIDs, const std::function<bool(std::int64_t)>& keep)
{
    std::vector<bool> candidates(storedFiles.size(), false);
    for (std::size_t index = 0; index < storedFiles.size(); ++index) {
        const auto& file = *storedFiles[index];
        auto id = file.syncFileID().remoteID();
        candidates[index] = id && !withheldIDs.contains(*id) && !namesCloudFolder(file, rootFolderID)
            && !liesInIgnoredName(file.path());
    }
    auto kept = keepOnePerPath(storedFiles, candidates, [&](const File& file) {
        return keep(*file.syncFileID().remoteID()) ? 1 : 0;
    });
    std::vector<FileRef> files;
    files.reserve(storedFiles.size());
    for (std::size_t index = 0; index < storedFiles.size(); ++index)
        if (kept[index])
            files.push_back(storedFiles[index]);
    return files;
}

} // namespace Sync
