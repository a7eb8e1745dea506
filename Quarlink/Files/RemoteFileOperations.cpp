#include "Quarlink/Files/RemoteFileOperations.hpp"

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Requests/Perform.hpp"

namespace Quarlink {

namespace {

template<class Value>
Reactive::SignalProducer<Value, Reactive::AnyError> invalidRequest()
{
    return Reactive::SignalProducer<Value, Reactive::AnyError>::error(Reactive::AnyError(APIClientError::invalidRequest()));
}

// The client went away before the next step could be made.
FilesProducer interruptedListing()
{
    return FilesProducer([](Reactive::Observer<CloudMetaPackage<std::vector<File>>, Reactive::AnyError> observer, Reactive::Lifetime) {
        observer.sendInterrupted();
    });
}

} // namespace

FilesProducer files(const std::shared_ptr<APIClient>& client, std::int64_t folderID)
{
    return perform(FileListRequest { folderID }, client);
}

FilesProducer files(const std::shared_ptr<APIClient>& client, const File& folder)
{
    return files(client, folder.fileID());
}

FilesProducer recursiveFiles(const std::shared_ptr<APIClient>& client) { return perform(RecursiveFileListRequest {}, client); }
FilesProducer documents(const std::shared_ptr<APIClient>& client) { return perform(DocumentsRequest {}, client); }
FilesProducer photos(const std::shared_ptr<APIClient>& client) { return perform(PhotosRequest {}, client); }
PackageProducer<std::vector<std::int64_t>> photoIDs(const std::shared_ptr<APIClient>& client) { return perform(PhotoIDsRequest {}, client); }
FilesProducer music(const std::shared_ptr<APIClient>& client) { return perform(MusicRequest {}, client); }
FilesProducer sharedFiles(const std::shared_ptr<APIClient>& client) { return perform(SharedFilesRequest {}, client); }
FilesProducer recentFiles(const std::shared_ptr<APIClient>& client) { return perform(RecentFilesRequest {}, client); }

FilesProducer filesChangedSince(const std::shared_ptr<APIClient>& client, const Platform::Date& date)
{
    return filesChangedSince(client, date.timeIntervalSince1970());
}

FilesProducer filesChangedSince(const std::shared_ptr<APIClient>& client, double secondsSince1970)
{
    FilesDeltaRequest request { secondsSince1970 };
    if (!request.isValid())
        return invalidRequest<CloudMetaPackage<std::vector<File>>>();
    return perform(request, client);
}

FilesProducer filesMatching(const std::shared_ptr<APIClient>& client, const std::string& text, const std::optional<File>& folder,
    std::int64_t limit)
{
    std::optional<std::string> folderPath;
    if (folder)
        folderPath = folder->path();
    return perform(FileSearchRequest { text, folderPath, limit }, client);
}

FilesProducer files(const std::shared_ptr<APIClient>& client, const std::vector<std::int64_t>& fileIDs)
{
    return perform(FilesGetterRequest { fileIDs }, client);
}

FilesProducer filesInBatches(const std::shared_ptr<APIClient>& client, const std::vector<std::int64_t>& fileIDs, std::int64_t batchSize)
{
    return perform(BatchFilesGetterRequest { batchSize, fileIDs }, client);
}

std::vector<std::vector<std::int64_t>> split(const std::vector<std::int64_t>& identifiers, std::int64_t size)
{
    std::vector<std::vector<std::int64_t>> slices;
    if (size < 1)
        return slices;
    auto step = static_cast<std::size_t>(size);
    for (std::size_t start = 0; start < identifiers.size(); start += step) {
        auto end = std::min(identifiers.size(), start + std::min(step, identifiers.size() - start));
        slices.emplace_back(identifiers.begin() + static_cast<std::ptrdiff_t>(start), identifiers.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return slices;
}

FilesProducer perform(const BatchFilesGetterRequest& request, const std::shared_ptr<APIClient>& client)
{
    if (request.batchSize == 0)
        return invalidRequest<CloudMetaPackage<std::vector<File>>>();
    auto slices = split(request.fileIDs, request.batchSize);
    std::weak_ptr<APIClient> weakClient = client;
    // One batch in flight: each request starts only when the one before has
    // completed, and a failure ends the stream before the next is made.
    return Reactive::SignalProducer<std::vector<std::int64_t>, Reactive::AnyError>::fromValues(std::move(slices))
        .flatMap(Reactive::FlattenStrategy::concat, [weakClient](const std::vector<std::int64_t>& slice) -> FilesProducer {
            auto strong = weakClient.lock();
            if (!strong)
                return interruptedListing();
            return files(strong, slice);
        });
}

FilesProducer photosInBatches(const std::shared_ptr<APIClient>& client, std::int64_t batchSize)
{
    if (batchSize == 0)
        return invalidRequest<CloudMetaPackage<std::vector<File>>>();
    std::weak_ptr<APIClient> weakClient = client;
    return photoIDs(client).flatMap(Reactive::FlattenStrategy::concat,
        [weakClient, batchSize](const CloudMetaPackage<std::vector<std::int64_t>>& identifiers) -> FilesProducer {
            if (identifiers.payload().empty())
                return FilesProducer::value(CloudMetaPackage<std::vector<File>>(identifiers.quota(), {}));
            auto strong = weakClient.lock();
            if (!strong)
                return interruptedListing();
            return filesInBatches(strong, identifiers.payload(), batchSize);
        });
}

PackageProducer<File> file(const std::shared_ptr<APIClient>& client, std::int64_t fileID)
{
    return perform(GetFileRequest { fileID }, client);
}

PackageProducer<File> refreshed(const std::shared_ptr<APIClient>& client, const File& file)
{
    return Quarlink::file(client, file.fileID());
}

PackageProducer<EtagResponse> etag(const std::shared_ptr<APIClient>& client, std::int64_t fileID)
{
    return perform(EtagRequest { fileID }, client);
}

PackageProducer<File> createFolder(const std::shared_ptr<APIClient>& client, const std::string& name, std::optional<std::int64_t> parentID)
{
    return perform(CreateFolderRequest(name, parentID), client);
}

PackageProducer<File> createFolder(const std::shared_ptr<APIClient>& client, const std::string& name, const File& parent)
{
    return createFolder(client, name, parent.fileID());
}

PackageProducer<File> rename(const std::shared_ptr<APIClient>& client, std::int64_t fileID, const std::string& newName)
{
    return perform(RenameFileRequest { newName, fileID }, client);
}

PackageProducer<File> rename(const std::shared_ptr<APIClient>& client, const File& file, const std::string& newName)
{
    return rename(client, file.fileID(), newName);
}

PackageProducer<DeleteBatchPackage> delete_(const std::shared_ptr<APIClient>& client, const std::vector<std::int64_t>& fileIDs)
{
    return perform(FileDeleteRequest { fileIDs }, client);
}

PackageProducer<DeleteBatchPackage> delete_(const std::shared_ptr<APIClient>& client, std::int64_t fileID)
{
    return delete_(client, std::vector<std::int64_t> { fileID });
}

PackageProducer<DeleteBatchPackage> delete_(const std::shared_ptr<APIClient>& client, const File& file)
{
    return delete_(client, file.fileID());
}

PackageProducer<DeleteBatchPackage> delete_(const std::shared_ptr<APIClient>& client, const std::vector<File>& files)
{
    return delete_(client, fileIDs(files));
}

PackageProducer<MoveBatchPackage> move(const std::shared_ptr<APIClient>& client, const std::vector<std::int64_t>& fileIDs, std::int64_t folderID)
{
    return perform(FileMoveRequest { fileIDs, folderID }, client);
}

PackageProducer<MoveBatchPackage> move(const std::shared_ptr<APIClient>& client, std::int64_t fileID, std::int64_t folderID)
{
    return move(client, std::vector<std::int64_t> { fileID }, folderID);
}

PackageProducer<MoveBatchPackage> move(const std::shared_ptr<APIClient>& client, const File& file, const File& folder)
{
    return move(client, std::vector<File> { file }, folder);
}

PackageProducer<MoveBatchPackage> move(const std::shared_ptr<APIClient>& client, const std::vector<File>& files, const File& folder)
{
    return move(client, fileIDs(files), folder.fileID());
}

} // namespace Quarlink
