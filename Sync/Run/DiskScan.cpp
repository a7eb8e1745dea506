#include "Sync/Run/DiskScan.hpp"

#include "Platform/FileSystem/PathResolver.hpp"
#include "Sync/Changes/ChangeComputation.hpp"
#include "Sync/Changes/IdentityResolution.hpp"
#include "Sync/Changes/ViewScreening.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Run/FreedMemory.hpp"

#include <string>
#include <string_view>
#include <utility>

namespace Sync {

namespace {

using Reactive::Event;
using Reactive::NoError;

// The scan makes the engine's own records, and only those.
std::vector<std::shared_ptr<FileWrapperItem>> scannedItems(std::vector<FileRef>&& files)
{
    std::vector<std::shared_ptr<FileWrapperItem>> items;
    items.reserve(files.size());
    for (auto& file : files) {
        items.push_back(std::static_pointer_cast<FileWrapperItem>(std::move(file)));
    }
    // The emptied list goes now, not with the statement that made it.
    std::vector<FileRef>().swap(files);
    return items;
}

// Where the bindings of `scan`'s items are read (the mapping is told a scan
// begins, and reads ahead what it does not remember); nothing to ask when
// the cloud folder cannot be resolved.
BindingLookup bindingLookup(const SyncCollaborators& collaborators, const FileSystemFileStore::Scan& scan)
{
    // The scan found every item below the folder's canonical location
    // without following a link, so that location and the item's path lead
    // to it: resolved once here rather than once per item.
    auto cloudFolder = collaborators.cloudFolder();
    auto root = Platform::PathResolver(cloudFolder.path()).canonicalFolder();
    if (!root) {
        return {};
    }
    const auto& mapping = collaborators.fileReferenceMapping;
    mapping->beginScan();
    mapping->readAhead(scan.files, scan.stamps, *root, cloudFolder);
    return [mapping, cloudFolder, root = std::move(*root), diskPath = std::string()](std::string_view path,
               const Platform::ChangeStamp* stamp) mutable {
        diskPath.assign(root).append(path);
        return mapping->boundRemoteID(path, diskPath, cloudFolder, stamp);
    };
}

DiskChanges compare(const SyncCollaborators& collaborators, FileSystemFileStore::Scan scanned, std::int64_t rootFolderID)
{
    DiskChanges found;
    if (scanned.cloudFolderUnreadable()) {
        found.cloudFolderUnreadable = true;
        return found;
    }
    found.unreadable.unreadable = std::move(scanned.unreadable);
    auto loaded = collaborators.fileStore->loadFiles();
    if (!loaded) {
        found.storeFailure = std::move(loaded.error());
        return found;
    }
    found.stored = std::move(*loaded);
    // Made before the items go to the identity step: it reads them ahead.
    auto lookup = bindingLookup(collaborators, scanned);
    auto views = resolveIdentities(scannedItems(std::move(scanned.files)), found.stored, rootFolderID, lookup,
        std::move(scanned.stamps));
    found.twins = std::move(views.twins);
    found.changes = resolvingNestedDeletes(computeChanges(views.diskFiles, views.storedFiles, MergePolicy::TakeLocal));
    return found;
}

} // namespace

void scanDisk(const std::shared_ptr<const SyncCollaborators>& collaborators, RunWork& work, std::int64_t rootFolderID,
    std::function<void(DiskChanges)> done)
{
    const auto& scan = collaborators->fileSystemStore.scans();
    work.start([running = work.shared_from_this(), collaborators, scan, rootFolderID, done = std::move(done)] {
        return scan.start(Reactive::Observer<FileSystemFileStore::Scan, NoError>::make(
            [running, collaborators, rootFolderID, done](Event<FileSystemFileStore::Scan, NoError>&& event) {
                if (!event.isValue()) {
                    return;
                }
                running->ended();
                // Both views go before the changes run: a change holds only its own files.
                auto found = compare(*collaborators, std::move(event).value(), rootFolderID);
                // With nothing to run, nothing holds on for long: the next
                // run needs as much again, and handing it back would cost
                // more than the walk (see releaseFreedMemory).
                if (!found.cloudFolderUnreadable && !found.storeFailure && !found.changes.empty()) {
                    releaseFreedMemory();
                }
                done(std::move(found));
            }));
    });
}

} // namespace Sync
