#include "Sync/Execution/RemoteChangeExecutor.hpp"

#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Status/FileSyncStatus.hpp"

namespace Sync {

using Reactive::AnyError;
using Reactive::Result;
using Reactive::Unit;

namespace {

using FileResult = Result<FileRef, AnyError>;

} // namespace

RemoteChangeExecutor::RemoteChangeExecutor(std::shared_ptr<const SyncCollaborators> collaborators)
    : m_collaborators(std::move(collaborators))
{
}

bool isRename(const File& from, const File& to)
{
    return from.syncParentID().remoteID() == to.syncParentID().remoteID();
}

SyncEventProducer RemoteChangeExecutor::performRemoteOperation(const FileOperation& operation) const
{
    const auto change = Change::remote(operation);
    const auto& file = operation.file();
    switch (operation.kind()) {
    case FileOperation::Kind::Create:
        return create(change, file);
    case FileOperation::Kind::Update:
        return isFolder(*file) ? SyncEventProducer::empty() : update(change, file);
    case FileOperation::Kind::Delete:
        return remove(change, file);
    case FileOperation::Kind::Move:
        return move(change, operation.from(), file);
    case FileOperation::Kind::MetaData:
        break;
    }
    return SyncEventProducer::empty();
}

SyncEventProducer RemoteChangeExecutor::create(const Change& change, const FileRef& file) const
{
    auto collaborators = m_collaborators;
    const bool folder = isFolder(*file);
    auto call = folder ? collaborators->apiClient->syncCreateFolder(file)
                       : collaborators->apiClient->syncUpload(file, collaborators->cloudFolder());
    auto reacted = call.attemptMap([collaborators, file, folder](FileRef&& result) -> FileResult {
        const auto& disk = collaborators->fileSystemStore;
        if (auto moved = stepFailure(disk.move(*file, *result))) {
            return std::unexpected(std::move(*moved));
        }
        if (!folder) {
            if (auto dated = stepFailure(disk.update(*result))) {
                return std::unexpected(std::move(*dated));
            }
        }
        collaborators->fileStore->add(*result);
        if (!Platform::canonicallyEqual(file->path(), result->path())) {
            // Stored under another name: the row of the name it had would stay for good.
            collaborators->fileSyncStatusStore->remove(*file, collaborators->cloudFolder());
        }
        collaborators->fileSyncStatusStore->mark(*result, FileSyncStatus::upToDate, collaborators->cloudFolder());
        collaborators->fileReferenceMapping->addReference(*result, collaborators->cloudFolder());
        return std::move(result);
    });
    return changeEvents(change, reacted);
}

SyncEventProducer RemoteChangeExecutor::update(const Change& change, const FileRef& file) const
{
    auto collaborators = m_collaborators;
    auto call = collaborators->apiClient->syncReupload(file, collaborators->cloudFolder());
    auto reacted = call.attemptMap([collaborators](FileRef&& result) -> FileResult {
        if (auto dated = stepFailure(collaborators->fileSystemStore.update(*result))) {
            return std::unexpected(std::move(*dated));
        }
        collaborators->fileStore->add(*result);
        return std::move(result);
    });
    return changeEvents(change, reacted);
}

SyncEventProducer RemoteChangeExecutor::remove(const Change& change, const FileRef& file) const
{
    auto collaborators = m_collaborators;
    // Completion alone means the item is gone, so the reaction hangs on the
    // end of the call, not on a value.
    auto reacted = collaborators->apiClient->syncDelete(file).collect().map(
        [collaborators, file](std::vector<Unit>&&) {
            collaborators->fileStore->setFile(file->syncFileID(), nullptr);
            collaborators->fileSyncStatusStore->remove(*file, collaborators->cloudFolder());
            return Unit();
        });
    return changeEvents(change, reacted);
}

SyncEventProducer RemoteChangeExecutor::move(const Change& change, const FileRef& from, const FileRef& to) const
{
    auto collaborators = m_collaborators;
    const auto cloudFolderAtCall = collaborators->cloudFolder();
    auto call = isRename(*from, *to) ? collaborators->apiClient->syncRename(to) : collaborators->apiClient->syncMove(to);
    auto reacted = call.on({ .value = [collaborators, from, to, cloudFolderAtCall](const FileRef& result) {
        collaborators->fileSyncStatusStore->remove(*from, collaborators->cloudFolder());
        collaborators->fileSyncStatusStore->mark(*to, FileSyncStatus::upToDate, cloudFolderAtCall);
        collaborators->fileStore->add(*result);
    } });
    return changeEvents(change, reacted);
}

} // namespace Sync
