#include "Sync/Execution/RemoteChangeExecutor.hpp"

#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/RegularFile.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Execution/DamagedContentGuard.hpp"
#include "Sync/Execution/ExchangeAhead.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Status/FileSyncStatus.hpp"

namespace Sync {

using Reactive::AnyError;
using Reactive::Result;
using Reactive::Unit;

namespace {

using FileResult = Result<FileRef, AnyError>;

// Refuses to hand the client anything but a regular file to read: a pipe
// swapped in after the scan would block the upload, a link would send what
// it points to. Opening neither blocks nor follows a link.
std::optional<AnyError> uploadRefusal(const File& file, const Platform::URL& cloudFolder)
{
    auto resolved = Platform::PathResolver(cloudFolder.path()).resolve(file.path());
    if (!resolved) {
        return AnyError(resolved.error());
    }
    auto opened = Platform::RegularFile::open(*resolved);
    if (opened || opened.error() == std::errc::no_such_file_or_directory) {
        return std::nullopt;
    }
    return AnyError(ChangeExecutionError { ChangeExecutionError::Code::notARegularFile, file.path(),
        opened.error().message() });
}

// `upload` started only once the file at `file`'s path has passed uploadRefusal.
SyncAPIClient::Producer<FileRef> checkedUpload(const std::shared_ptr<const SyncCollaborators>& collaborators,
    const FileRef& file, std::function<SyncAPIClient::Producer<FileRef>(const Platform::URL&)> upload)
{
    return deferredCall<FileRef>([collaborators, file, upload = std::move(upload)]() -> SyncAPIClient::Producer<FileRef> {
        const auto cloudFolder = collaborators->cloudFolder();
        if (auto refused = uploadRefusal(*file, cloudFolder)) {
            return SyncAPIClient::Producer<FileRef>::error(std::move(*refused));
        }
        return upload(cloudFolder);
    });
}

} // namespace

RemoteChangeExecutor::RemoteChangeExecutor(std::shared_ptr<const SyncCollaborators> collaborators)
    : m_collaborators(std::move(collaborators))
{
}

bool isRename(const File& from, const File& to)
{
    return from.syncParentID().remoteID() == to.syncParentID().remoteID();
}

std::shared_ptr<ExchangeAhead> RemoteChangeExecutor::startTransfer(const FileOperation& operation) const
{
    if (!carriesContent(operation)) {
        return nullptr;
    }
    auto cloudFolder = m_collaborators->cloudFolder();
    // Damaged content is never sent, ahead or at its turn.
    if (operation.kind() == FileOperation::Kind::Update && damagedRecord(*m_collaborators, *operation.file(), cloudFolder)) {
        return nullptr;
    }
    return StartedAhead<FileRef>::start(upload(operation), std::move(cloudFolder));
}

SyncAPIClient::Producer<FileRef> RemoteChangeExecutor::upload(const FileOperation& operation) const
{
    auto collaborators = m_collaborators;
    const auto& file = operation.file();
    if (operation.kind() == FileOperation::Kind::Create) {
        return checkedUpload(collaborators, file, [collaborators, file](const Platform::URL& cloudFolder) {
            return collaborators->apiClient->syncUpload(file, cloudFolder);
        });
    }
    return checkedUpload(collaborators, file, [collaborators, file](const Platform::URL& cloudFolder) {
        return collaborators->apiClient->syncReupload(file, cloudFolder);
    });
}

SyncAPIClient::Producer<FileRef> RemoteChangeExecutor::upload(const FileOperation& operation,
    const std::shared_ptr<ExchangeAhead>& started) const
{
    auto collaborators = m_collaborators;
    // What was sent for another cloud folder is of no use here: sent again, as it would have been now.
    return takenOrFresh<FileRef>(started, [collaborators] { return collaborators->cloudFolder(); }, upload(operation));
}

SyncEventProducer RemoteChangeExecutor::performRemoteOperation(const FileOperation& operation,
    std::shared_ptr<ExchangeAhead> started) const
{
    const auto change = Change::remote(operation);
    const auto& file = operation.file();
    switch (operation.kind()) {
    case FileOperation::Kind::Create:
        return create(change, file, isFolder(*file) ? m_collaborators->apiClient->syncCreateFolder(file) : upload(operation, started));
    case FileOperation::Kind::Update:
        if (isFolder(*file)) {
            return SyncEventProducer::empty();
        }
        if (auto record = damagedRecord(*m_collaborators, *file, m_collaborators->cloudFolder())) {
            if (started) {
                started->dispose();
            }
            return restoreServerVersion(m_collaborators, change, file, record);
        }
        return update(change, file, upload(operation, started));
    case FileOperation::Kind::Delete:
        return remove(change, file);
    case FileOperation::Kind::Move:
        return move(change, operation.from(), file);
    case FileOperation::Kind::MetaData:
        break;
    }
    return SyncEventProducer::empty();
}

SyncEventProducer RemoteChangeExecutor::create(const Change& change, const FileRef& file,
    const SyncAPIClient::Producer<FileRef>& call) const
{
    auto collaborators = m_collaborators;
    const bool folder = isFolder(*file);
    auto reacted = call.attemptMap([collaborators, file, folder](FileRef&& result) -> FileResult {
        const auto& disk = collaborators->fileSystemStore;
        // Where the item lies on disk once the server's name is taken.
        FileRef placed = result;
        if (auto moved = stepFailure(disk.move(*file, *result))) {
            // A decomposed name whose composed form the server keeps is too
            // long for the disk: both forms name the one item, which stays
            // under the name that fits and is recorded under the server's.
            const auto* failure = moved->as<DiskOperationError>();
            if (!failure || failure->cause.code != Platform::FileSystemErrorCode::nameTooLong
                || !Platform::canonicallyEqual(file->path(), result->path())) {
                return std::unexpected(std::move(*moved));
            }
            auto here = std::make_shared<FileWrapperItem>(*result);
            here->setPath(file->path());
            placed = std::move(here);
        }
        if (!folder) {
            if (auto dated = stepFailure(disk.update(*placed))) {
                return std::unexpected(std::move(*dated));
            }
        }
        auto stored = StoredChange::storing(result);
        if (!Platform::canonicallyEqual(file->path(), result->path())) {
            // Stored under another name: the row of the name it had would stay for good.
            stored.removeStatus(*file, collaborators->cloudFolder());
        }
        stored.markUpToDate(*result, collaborators->cloudFolder());
        if (auto written = collaborators->record(stored); !written) {
            return std::unexpected(AnyError(std::move(written.error())));
        }
        collaborators->fileReferenceMapping->addReference(*result, collaborators->cloudFolder());
        return std::move(result);
    });
    return changeEvents(change, reacted);
}

SyncEventProducer RemoteChangeExecutor::update(const Change& change, const FileRef& file,
    const SyncAPIClient::Producer<FileRef>& call) const
{
    auto collaborators = m_collaborators;
    auto reacted = call.attemptMap([collaborators, file](FileRef&& result) -> FileResult {
        // The server answers with the path it keeps the item under, which lags
        // behind a move of a parent folder this run has yet to carry out: the
        // item is dated where it lies on disk.
        auto onDisk = std::make_shared<FileWrapperItem>(*result);
        onDisk->setPath(file->path());
        if (auto dated = stepFailure(collaborators->fileSystemStore.update(*onDisk))) {
            return std::unexpected(std::move(*dated));
        }
        if (auto stored = collaborators->fileStore->add(*result); !stored) {
            return std::unexpected(AnyError(std::move(stored.error())));
        }
        return std::move(result);
    });
    return changeEvents(change, reacted);
}

SyncEventProducer RemoteChangeExecutor::remove(const Change& change, const FileRef& file) const
{
    auto collaborators = m_collaborators;
    // Completion alone means the item is gone, so the reaction hangs on the
    // end of the call, not on a value.
    auto reacted = collaborators->apiClient->syncDelete(file).collect().attemptMap(
        [collaborators, file](std::vector<Unit>&&) -> Result<Unit, AnyError> {
            auto stored = StoredChange::removing(file->syncFileID());
            if (auto removed = collaborators->record(stored.removeStatus(*file, collaborators->cloudFolder()));
                !removed) {
                return std::unexpected(AnyError(std::move(removed.error())));
            }
            return Unit();
        });
    return changeEvents(change, reacted);
}

SyncEventProducer RemoteChangeExecutor::move(const Change& change, const FileRef& from, const FileRef& to) const
{
    auto collaborators = m_collaborators;
    const auto cloudFolderAtCall = collaborators->cloudFolder();
    auto call = isRename(*from, *to) ? collaborators->apiClient->syncRename(to) : collaborators->apiClient->syncMove(to);
    auto reacted = call.attemptMap([collaborators, from, to, cloudFolderAtCall](FileRef&& result) -> FileResult {
        auto stored = StoredChange::storing(result);
        stored.removeStatus(*from, collaborators->cloudFolder()).markUpToDate(*to, cloudFolderAtCall);
        if (auto written = collaborators->record(stored); !written) {
            return std::unexpected(AnyError(std::move(written.error())));
        }
        return std::move(result);
    });
    return changeEvents(change, reacted);
}

} // namespace Sync
