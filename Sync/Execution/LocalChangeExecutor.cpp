#include "Sync/Execution/LocalChangeExecutor.hpp"

#include "Platform/FileSystem/ItemStat.hpp"
#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/KillPoint.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Execution/ExchangeAhead.hpp"
#include "Sync/Execution/LocalEditGuard.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Status/FileSyncStatus.hpp"


namespace Sync {

using Reactive::AnyError;

namespace {

using URLResult = Reactive::Result<Platform::URL, AnyError>;

// Drops a stale reference at the new item's path: looking it up removes an
// attribute that does not belong to the item.
void forgetStaleReference(const SyncCollaborators& collaborators, const File& file)
{
    static_cast<void>(collaborators.fileReferenceMapping->file(file.path(), collaborators.cloudFolder()));
}

// Whether a regular file with exactly the content of `hash` lies at `diskPath`.
bool holdsContent(const std::string& diskPath, std::string_view hash)
{
    auto status = Platform::ItemStat::of(diskPath);
    if (!status || !status->isRegularFile() || hash.empty() || hash == FileWrapperItem::missingFileHashKey) {
        return false;
    }
    auto digest = Platform::Digest::ofFile(Platform::Digest::Algorithm::SHA1, diskPath);
    return digest && Platform::hexString(*digest) == hash;
}

bool isLocalEditConflict(const AnyError& error)
{
    const auto* refusal = error.as<ChangeExecutionError>();
    return refusal && refusal->code == ChangeExecutionError::Code::localEditConflict;
}

// The server deleted an item that holds local work: the work stays on disk,
// and the records and binding of what the server no longer has go, so that
// the next local phase uploads it as new instead of failing at every run.
void forgetDeletedOnServer(const SyncCollaborators& collaborators, const File& file)
{
    auto& store = *collaborators.fileStore;
    if (isFolder(file)) {
        const auto folder = Platform::precomposed(file.path());
        for (const auto& stored : store.files()) {
            if (stored->path().size() > folder.size() && Platform::precomposed(stored->path()).starts_with(folder)) {
                static_cast<void>(store.setFile(stored->syncFileID(), nullptr));
            }
        }
    }
    static_cast<void>(store.setFile(file.syncFileID(), nullptr));
    collaborators.fileReferenceMapping->removeReference(file.path(), collaborators.cloudFolder());
}

// The current path of the folder `id` as the store knows its ancestors:
// a folder moved with its parent keeps its old path in its own record.
std::optional<std::string> currentFolderPath(const FileStore& store, const SyncFileID& id, int depth = 0)
{
    auto folder = store.file(id);
    if (!folder || !isFolder(*folder))
        return std::nullopt;
    if (folder->path() == "/" || depth > 256)
        return folder->path();
    auto above = currentFolderPath(store, folder->syncParentID(), depth + 1);
    return above ? *above + folder->fileName() + "/" : folder->path();
}

// `from` where an earlier change of the same list carried it along with a
// moved folder above it, under its old name; nullptr when it is not there.
FileRef carriedAlong(const SyncCollaborators& collaborators, const FileRef& from)
{
    auto parent = currentFolderPath(*collaborators.fileStore, from->syncParentID());
    if (!parent)
        return nullptr;
    auto path = *parent + from->fileName() + (isFolder(*from) ? "/" : "");
    if (Platform::precomposed(path) == Platform::precomposed(from->path()))
        return nullptr;
    auto there = collaborators.fileReferenceMapping->file(path, collaborators.cloudFolder());
    if (!there || there->syncFileID() != from->syncFileID())
        return nullptr;
    auto moved = std::make_shared<FileWrapperItem>(*from);
    moved->setPath(path);
    return moved;
}

// The server's content of `file` downloaded and put in place by the disk
// store, durably, before the value (the placed file) is sent; placed on
// `placeOn` when given, else where the download arrives. A download that
// arrives after its change was disposed is dropped unplaced (its file goes
// with the value).
// Into the cloud folder `cloudFolder` the change was started for, whatever
// the configuration says by the time the download arrives.
SyncAPIClient::Producer<Platform::URL> placedDownload(const std::shared_ptr<const SyncCollaborators>& collaborators,
    const FileRef& file, const Platform::URL& cloudFolder, ReplaceExisting replace, const Reactive::SchedulerPtr& placeOn)
{
    auto download = collaborators->apiClient->syncDownload(file);
    if (placeOn) {
        download = download.observeOn(placeOn);
    }
    return download.attemptMap(
        [collaborators, file, cloudFolder, replace](DownloadedFileRef&& downloaded) -> URLResult {
            // Bound on the staged file, so that the binding is as durable as the content.
            auto placed = collaborators->fileSystemStore.placeDownload(std::move(*downloaded), *file, cloudFolder,
                replace, collaborators->fileReferenceMapping.get());
            if (!placed) {
                return std::unexpected(AnyError(std::move(placed.error())));
            }
            Platform::killPoint("download-placed");
            return Platform::URL::fileURL(*placed);
        });
}

// The disk part of a new file from the server, checked when started: found
// in place already, or downloaded and placed.
SyncAPIClient::Producer<Platform::URL> createdContent(const std::shared_ptr<const SyncCollaborators>& collaborators,
    const FileRef& file, const Reactive::SchedulerPtr& placeOn)
{
    return deferredCall<Platform::URL>([collaborators, file, placeOn]() -> SyncAPIClient::Producer<Platform::URL> {
        const auto cloudFolder = collaborators->cloudFolder();
        auto diskPath = LocalEditGuard(*collaborators->fileStore, cloudFolder).resolve(*file);
        if (!diskPath) {
            return SyncAPIClient::Producer<Platform::URL>::error(diskPath.error());
        }
        if (holdsContent(*diskPath, file->fileHash())) {
            // Placed before, but not recorded (the process ended in between),
            // or the user's with the same content: bound durably before its record.
            if (auto unbound = stepFailure(
                    collaborators->fileSystemStore.bindInPlace(*file, cloudFolder, *collaborators->fileReferenceMapping))) {
                return SyncAPIClient::Producer<Platform::URL>::error(std::move(*unbound));
            }
            collaborators->fileSystemStore.learnPlacedContent(*file);
            return SyncAPIClient::Producer<Platform::URL>::value(Platform::URL::fileURL(*diskPath));
        }
        return placedDownload(collaborators, file, cloudFolder, ReplaceExisting::No, placeOn);
    });
}

// The disk part of new server content of a known file, checked when started:
// never over a local edit.
SyncAPIClient::Producer<Platform::URL> updatedContent(const std::shared_ptr<const SyncCollaborators>& collaborators,
    const FileRef& file, const Platform::URL& cloudFolder, const Reactive::SchedulerPtr& placeOn)
{
    return deferredCall<Platform::URL>(
        [collaborators, file, cloudFolder, placeOn]() -> SyncAPIClient::Producer<Platform::URL> {
            if (auto refused = LocalEditGuard(*collaborators->fileStore, cloudFolder).checkOverwrite(*file)) {
                return SyncAPIClient::Producer<Platform::URL>::error(std::move(*refused));
            }
            return placedDownload(collaborators, file, cloudFolder, ReplaceExisting::Yes, placeOn);
        });
}

} // namespace

LocalChangeExecutor::LocalChangeExecutor(std::shared_ptr<const SyncCollaborators> collaborators)
    : m_collaborators(std::move(collaborators))
{
}

SyncEventProducer LocalChangeExecutor::performLocalOperation(const FileOperation& operation, Removal removal,
    std::shared_ptr<ExchangeAhead> started) const
{
    const auto change = Change::local(operation);
    const auto& file = operation.file();
    if (started && !carriesContent(operation)) {
        started->dispose();
        started.reset();
    }
    switch (operation.kind()) {
    case FileOperation::Kind::Create:
        return isFolder(*file) ? createFolder(change, file) : createFile(change, file, std::move(started));
    case FileOperation::Kind::Update:
        return isFolder(*file) ? SyncEventProducer::empty() : updateFile(change, file, std::move(started));
    case FileOperation::Kind::Delete:
        return remove(change, file, removal);
    case FileOperation::Kind::Move:
        return move(change, operation.from(), file);
    case FileOperation::Kind::MetaData:
        return updateMetaData(change, file);
    }
    return SyncEventProducer::empty();
}

std::shared_ptr<ExchangeAhead> LocalChangeExecutor::startTransfer(const FileOperation& operation,
    const Reactive::SchedulerPtr& placeOn) const
{
    if (!carriesContent(operation)) {
        return nullptr;
    }
    auto cloudFolder = m_collaborators->cloudFolder();
    auto content = operation.kind() == FileOperation::Kind::Create
        ? createdContent(m_collaborators, operation.file(), placeOn)
        : updatedContent(m_collaborators, operation.file(), cloudFolder, placeOn);
    return StartedAhead<Platform::URL>::start(content, std::move(cloudFolder));
}

SyncEventProducer LocalChangeExecutor::createFile(const Change& change, const FileRef& file,
    std::shared_ptr<ExchangeAhead> started) const
{
    auto collaborators = m_collaborators;
    auto call = takenOrFresh<Platform::URL>(std::move(started), [collaborators] { return collaborators->cloudFolder(); },
        createdContent(collaborators, file, nullptr));
    auto reacted = call.attemptMap([collaborators, file](Platform::URL&& placed) -> URLResult {
        // The record and the item's status in one write, once the file is durable.
        auto stored = StoredChange::storing(file);
        if (auto written = collaborators->record(stored.markUpToDate(*file, collaborators->cloudFolder())); !written) {
            return std::unexpected(AnyError(std::move(written.error())));
        }
        return std::move(placed);
    });
    return changeEvents(change, reacted);
}

SyncEventProducer LocalChangeExecutor::createFolder(const Change& change, const FileRef& file) const
{
    auto collaborators = m_collaborators;
    return synchronousChangeEvents(change, [collaborators, file]() -> std::optional<AnyError> {
        if (auto refused = LocalEditGuard(*collaborators->fileStore, collaborators->cloudFolder()).resolve(*file);
            !refused) {
            return refused.error();
        }
        if (auto failed = stepFailure(
                collaborators->fileSystemStore.createFolder(*file, collaborators->fileReferenceMapping.get()))) {
            return failed;
        }
        if (auto stored = collaborators->fileStore->add(*file); !stored) {
            return AnyError(std::move(stored.error()));
        }
        forgetStaleReference(*collaborators, *file);
        return std::nullopt;
    });
}

SyncEventProducer LocalChangeExecutor::updateFile(const Change& change, const FileRef& file,
    std::shared_ptr<ExchangeAhead> started) const
{
    auto collaborators = m_collaborators;
    const auto cloudFolderAtCall = collaborators->cloudFolder();
    auto call = takenOrFresh<Platform::URL>(std::move(started), [cloudFolderAtCall] { return cloudFolderAtCall; },
        updatedContent(collaborators, file, cloudFolderAtCall, nullptr));
    auto reacted = call.attemptMap([collaborators, file, cloudFolderAtCall](Platform::URL&& placed) -> URLResult {
        auto stored = StoredChange::storing(file);
        if (auto written = collaborators->record(stored.markUpToDate(*file, cloudFolderAtCall)); !written) {
            return std::unexpected(AnyError(std::move(written.error())));
        }
        return std::move(placed);
    });
    return changeEvents(change, reacted);
}

SyncEventProducer LocalChangeExecutor::remove(const Change& change, const FileRef& file, Removal removal) const
{
    auto collaborators = m_collaborators;
    return synchronousChangeEvents(change, [collaborators, file, removal]() -> std::optional<AnyError> {
        if (auto refused = LocalEditGuard(*collaborators->fileStore, collaborators->cloudFolder()).checkDelete(*file)) {
            if (isLocalEditConflict(*refused)) {
                forgetDeletedOnServer(*collaborators, *file);
            }
            return refused;
        }
        // Deleted inside a folder an earlier change of this list moved: the item lies below the folder's new place.
        if (auto carried = carriedAlong(*collaborators, file)) {
            if (auto refused = LocalEditGuard(*collaborators->fileStore, collaborators->cloudFolder()).checkDelete(*carried)) {
                return refused;
            }
            if (auto failed = stepFailure(collaborators->fileSystemStore.deleteItem(*carried, removal))) {
                return failed;
            }
        }
        if (auto failed = stepFailure(collaborators->fileSystemStore.deleteItem(*file, removal))) {
            return failed;
        }
        auto stored = StoredChange::removing(file->syncFileID());
        if (auto removed = collaborators->record(stored.removeStatus(*file, collaborators->cloudFolder())); !removed) {
            return AnyError(std::move(removed.error()));
        }
        return std::nullopt;
    });
}

SyncEventProducer LocalChangeExecutor::move(const Change& change, const FileRef& from, const FileRef& to) const
{
    auto collaborators = m_collaborators;
    return synchronousChangeEvents(change, [collaborators, from, to]() -> std::optional<AnyError> {
        const LocalEditGuard guard(*collaborators->fileStore, collaborators->cloudFolder());
        for (const auto* file : { from.get(), to.get() }) {
            if (auto refused = guard.resolve(*file); !refused) {
                return refused.error();
            }
        }
        // The item may be in place already: it was moved with its parent
        // folder by an earlier change of the same list.
        auto atDestination = collaborators->fileReferenceMapping->file(to->path(), collaborators->cloudFolder());
        const bool inPlace = atDestination && atDestination->syncFileID() == to->syncFileID();
        if (!inPlace) {
            if (auto failed = stepFailure(collaborators->fileSystemStore.move(*from, *to))) {
                auto carried = carriedAlong(*collaborators, from);
                if (!carried)
                    return failed;
                if (auto again = stepFailure(collaborators->fileSystemStore.move(*carried, *to)))
                    return again;
            }
            if (isFolder(*to))
                Platform::killPoint("folder-move");
        }
        // A move carries the old bytes only. Recording the server's new hash
        // would make the old bytes look like a local edit, and the next run
        // would upload them over the server's content; with the old hash the
        // next run brings the new content down instead.
        auto recorded = to;
        if (!isFolder(*to) && to->fileHash() != from->fileHash()) {
            auto moved = std::make_shared<FileWrapperItem>(*to);
            moved->setFileHash(from->fileHash());
            recorded = moved;
        }
        auto stored = StoredChange::storing(recorded);
        if (auto written = collaborators->record(stored.removeStatus(*from, collaborators->cloudFolder())); !written) {
            return AnyError(std::move(written.error()));
        }
        return std::nullopt;
    });
}

SyncEventProducer LocalChangeExecutor::updateMetaData(const Change& change, const FileRef& file) const
{
    auto collaborators = m_collaborators;
    auto reacted = fetchShareInfos(file, collaborators->apiClient)
                       .attemptMap([collaborators](ShareInfos&& infos) -> Reactive::Result<ShareInfos, AnyError> {
                           const auto& [fetched, publicShare, privateShares] = infos;
                           auto stored = collaborators->fileStore->modifyOrCreate(fetched->syncFileID(),
                               [&](FileRef& record, FileWrapperItem::PublicShare& storedPublic,
                                   FileWrapperItem::PrivateShares& storedPrivate) {
                                   record = fetched;
                                   storedPublic = publicShare;
                                   storedPrivate = privateShares;
                               });
                           if (!stored) {
                               return std::unexpected(AnyError(std::move(stored.error())));
                           }
                           return std::move(infos);
                       });
    return changeEvents(change, reacted);
}

SyncAPIClient::Producer<LocalChangeExecutor::ShareInfos> LocalChangeExecutor::fetchShareInfos(const FileRef& file,
    const std::shared_ptr<SyncAPIClient>& apiClient)
{
    using PublicShare = SyncAPIClient::PublicShare;
    using PrivateShares = SyncAPIClient::PrivateShares;
    auto privatePart = file->hasPrivateShares() ? apiClient->syncPrivateShareInfos(file)
                                                : SyncAPIClient::Producer<PrivateShares>::value({});
    auto publicPart = file->hasPublicShare() ? apiClient->syncPublicShareInfo(file)
                                             : SyncAPIClient::Producer<PublicShare>::value(nullptr);
    return Reactive::combineLatest(SyncAPIClient::Producer<FileRef>::value(file), publicPart, privatePart);
}

} // namespace Sync
