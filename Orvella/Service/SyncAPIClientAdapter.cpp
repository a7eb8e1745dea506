#include "Orvella/Service/SyncAPIClientAdapter.hpp"

#include "Orvella/Service/RemoteSyncFile.hpp"
#include "Orvella/Service/SyncAdapterError.hpp"
#include "Orvella/Sharing/APIManagerError.hpp"
#include "Orvella/Sharing/ShareRequests.hpp"
#include "Platform/FileSystem/PathResolver.hpp"
#include "Quarlink/Account/AccountOperations.hpp"
#include "Quarlink/Downloads/DownloadOperations.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Unpacked.hpp"
#include "Quarlink/Uploads/UploadOperations.hpp"

namespace Orvella {

using Reactive::AnyError;
using Reactive::SignalProducer;

namespace {

template<class V>
SignalProducer<V, AnyError> missingID()
{
    return ShareRequests::refusal<V>(APIManagerError::Case::remoteFileIDisMissing);
}

template<class V>
SignalProducer<V, AnyError> refusedPath(const Sync::File& file)
{
    return SignalProducer<V, AnyError>::error(AnyError(SyncAdapterError(SyncAdapterError::Case::refusedPath, file.path())));
}

// The remote file of an answer as an engine file.
Sync::FileRef engineFile(Quarlink::File&& remote)
{
    return RemoteSyncFile::make(std::move(remote));
}

} // namespace

SyncAPIClientAdapter::SyncAPIClientAdapter(Collaborators collaborators)
    : m_collaborators(std::move(collaborators))
{
}

SyncAPIClientAdapter::Producer<Quarlink::CustomerInfo> SyncAPIClientAdapter::cachedOrFetchedCustomerInfo() const
{
    auto cache = m_collaborators.apiManager->customerInfo();
    auto client = m_collaborators.apiClient;
    return SignalProducer<Reactive::Unit, AnyError>::value(Reactive::Unit())
        .flatMap(Reactive::FlattenStrategy::latest, [cache, client](const Reactive::Unit&) {
            if (auto cached = cache.value())
                return SignalProducer<Quarlink::CustomerInfo, AnyError>::value(*cached);
            return Quarlink::customerInfo(client);
        });
}

SyncAPIClientAdapter::Producer<std::int64_t> SyncAPIClientAdapter::syncRootFolderID()
{
    return cachedOrFetchedCustomerInfo().map([](Quarlink::CustomerInfo&& info) { return info.rootFolderID; });
}

SyncAPIClientAdapter::Producer<std::vector<Sync::FileRef>> SyncAPIClientAdapter::syncRemoteFiles()
{
    return Quarlink::unpacked(Quarlink::recursiveFiles(m_collaborators.apiClient))
        .map([](std::vector<Quarlink::File>&& files) { return RemoteSyncFile::make(std::move(files)); });
}

SyncAPIClientAdapter::Producer<std::string> SyncAPIClientAdapter::syncRootEtag()
{
    auto client = m_collaborators.apiClient;
    return syncRootFolderID().flatMap(Reactive::FlattenStrategy::merge, [client](std::int64_t rootID) {
        return Quarlink::unpacked(Quarlink::etag(client, rootID)).map([](Quarlink::EtagResponse&& response) {
            return std::move(response.etag);
        });
    });
}

SyncAPIClientAdapter::Producer<Sync::DownloadedFileRef> SyncAPIClientAdapter::syncDownload(Sync::FileRef file)
{
    auto fileID = file->syncFileID().remoteID();
    if (!fileID)
        return missingID<Sync::DownloadedFileRef>();
    // Only files are downloaded, and only to a path the engine could place
    // (no "..", "." or empty component): anything else never reaches the service.
    if (file->path().ends_with('/') || !Platform::PathResolver::components(file->path()))
        return refusedPath<Sync::DownloadedFileRef>(*file);
    return Quarlink::download(m_collaborators.apiClient, *fileID, file->fileName(), std::nullopt, std::nullopt)
        .filterMap([](Quarlink::ProgressEvent<Platform::URL>&& event) { return event.downloadedValue(); })
        .take(1)
        // Owned from here: a value nobody takes removes the transport's file.
        .map([](Platform::URL&& downloaded) { return std::make_shared<Sync::DownloadedFile>(downloaded.path()); });
}

SyncAPIClientAdapter::Producer<Sync::FileRef> SyncAPIClientAdapter::syncUpload(Sync::FileRef file, Platform::URL cloudFolder)
{
    auto parentID = file->syncParentID().remoteID();
    if (!parentID)
        return missingID<Sync::FileRef>();
    auto local = Sync::fileURL(*file, cloudFolder);
    if (!local)
        return refusedPath<Sync::FileRef>(*file);
    return Quarlink::unpacked(Quarlink::upload(m_collaborators.apiClient, local->standardized(), *parentID)).map(engineFile);
}

SyncAPIClientAdapter::Producer<Sync::FileRef> SyncAPIClientAdapter::syncReupload(Sync::FileRef file, Platform::URL cloudFolder)
{
    auto fileID = file->syncFileID().remoteID();
    auto parentID = file->syncParentID().remoteID();
    if (!fileID || !parentID)
        return missingID<Sync::FileRef>();
    auto local = Sync::fileURL(*file, cloudFolder);
    if (!local)
        return refusedPath<Sync::FileRef>(*file);
    return Quarlink::unpacked(Quarlink::overwrite(m_collaborators.apiClient, *fileID, *parentID, local->standardized()))
        .map(engineFile);
}

SyncAPIClientAdapter::Producer<Sync::FileRef> SyncAPIClientAdapter::syncCreateFolder(Sync::FileRef file)
{
    // Only folders come here; anything else must not reach the service.
    if (!Sync::isFolder(*file))
        return SignalProducer<Sync::FileRef, AnyError>::error(
            AnyError(SyncAdapterError(SyncAdapterError::Case::notAFolder, file->path())));
    auto parentID = file->syncParentID().remoteID();
    if (!parentID)
        return missingID<Sync::FileRef>();
    return Quarlink::unpacked(Quarlink::createFolder(m_collaborators.apiClient, file->fileName(), *parentID)).map(engineFile);
}

SyncAPIClientAdapter::Producer<Reactive::Unit> SyncAPIClientAdapter::syncDelete(Sync::FileRef file)
{
    auto fileID = file->syncFileID().remoteID();
    if (!fileID)
        return missingID<Reactive::Unit>();
    auto id = *fileID;
    // A batch answer that does not list the file as deleted but names an
    // error is that error: reporting success would let the file come back
    // at the next run without the user ever hearing why.
    return Quarlink::unpacked(Quarlink::delete_(m_collaborators.apiClient, id))
        .attemptMap([id](Quarlink::DeleteBatchPackage&& batch) -> Reactive::Result<Reactive::Unit, AnyError> {
            if (!batch.deletedFileIDs.contains(id) && !batch.errors.empty()
                && batch.errors.front().errorCase() != Quarlink::RemoteError::Case::fileNotFound)
                return std::unexpected(AnyError(batch.errors.front()));
            return Reactive::Unit();
        })
        // An item the service does not have is as deleted as the engine asked
        // for: its record goes, instead of the delete failing at every run.
        .flatMapError([](const AnyError& error) {
            if (Quarlink::RemoteError::matches(Quarlink::underlyingError(error), Quarlink::RemoteError::Case::fileNotFound))
                return Producer<Reactive::Unit>::empty();
            return Producer<Reactive::Unit>::error(error);
        })
        .filter([](const Reactive::Unit&) { return false; });
}

SyncAPIClientAdapter::Producer<Sync::FileRef> SyncAPIClientAdapter::syncRename(Sync::FileRef file)
{
    auto fileID = file->syncFileID().remoteID();
    if (!fileID)
        return missingID<Sync::FileRef>();
    return Quarlink::unpacked(Quarlink::rename(m_collaborators.apiClient, *fileID, file->fileName())).map(engineFile);
}

SyncAPIClientAdapter::Producer<Sync::FileRef> SyncAPIClientAdapter::syncMove(Sync::FileRef file)
{
    auto fileID = file->syncFileID().remoteID();
    auto parentID = file->syncParentID().remoteID();
    if (!fileID || !parentID)
        return missingID<Sync::FileRef>();
    return Quarlink::unpacked(Quarlink::move(m_collaborators.apiClient, *fileID, *parentID))
        .attemptMap([](Quarlink::MoveBatchPackage&& batch) -> Reactive::Result<Sync::FileRef, AnyError> {
            if (batch.movedFiles.empty())
                return std::unexpected(AnyError(Quarlink::RemoteError(Quarlink::RemoteError::Case::filesNotMoved)));
            return engineFile(std::move(batch.movedFiles.front()));
        });
}

SyncAPIClientAdapter::Producer<Sync::SyncAPIClient::PublicShare> SyncAPIClientAdapter::syncPublicShareInfo(Sync::FileRef file)
{
    return ShareRequests::publicShare(m_collaborators.apiClient, *file);
}

SyncAPIClientAdapter::Producer<Sync::SyncAPIClient::PrivateShares> SyncAPIClientAdapter::syncPrivateShareInfos(Sync::FileRef file)
{
    return ShareRequests::privateShares(m_collaborators.apiClient, *file);
}

} // namespace Orvella
