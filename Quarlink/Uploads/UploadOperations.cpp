#include "Quarlink/Uploads/UploadOperations.hpp"
#include "Platform/Foundation/KillPoint.hpp"

#include "Quarlink/Requests/Perform.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/DownloadPlacement.hpp"

namespace Quarlink {

namespace {

using InitProducer = Reactive::SignalProducer<UploadInitResult, Reactive::AnyError>;
using StoredProducer = Reactive::SignalProducer<CloudMetaPackage<File>, Reactive::AnyError>;

template<class Producer>
Producer failedRecord(const Platform::FileSystemError& error)
{
    return Producer::error(Reactive::AnyError(error));
}

} // namespace

InitProducer prepareUpload(const std::shared_ptr<APIClient>& client, const Upload& upload)
{
    return perform(FileUploadInitRequest(upload), client);
}

InitProducer prepareUpload(const std::shared_ptr<APIClient>& client, const Platform::URL& fileURL, std::int64_t folderID)
{
    auto record = Upload::create(folderID, fileURL);
    if (!record)
        return failedRecord<InitProducer>(record.error());
    return prepareUpload(client, *record);
}

InitProducer prepareUpload(const std::shared_ptr<APIClient>& client, const Platform::URL& fileURL, const File& folder)
{
    return prepareUpload(client, fileURL, folder.fileID());
}

StoredProducer upload(const std::shared_ptr<APIClient>& client, const Upload& upload)
{
    std::weak_ptr<APIClient> weakClient = client;
    return prepareUpload(client, upload).flatMap(Reactive::FlattenStrategy::concat, [weakClient](const UploadInitResult& result) -> StoredProducer {
        if (!result.needsUpload())
            return StoredProducer::value(CloudMetaPackage<File>(std::nullopt, *result.existingFile()));
        auto strong = weakClient.lock();
        if (!strong)
            return StoredProducer([](Reactive::Observer<CloudMetaPackage<File>, Reactive::AnyError> observer, Reactive::Lifetime) {
                observer.sendInterrupted();
            });
        Platform::killPoint("upload-between-requests");
        return perform(FileUploadRequest(*result.record(), result.fileID()), strong);
    });
}

StoredProducer upload(const std::shared_ptr<APIClient>& client, const Platform::URL& fileURL, std::int64_t folderID)
{
    auto record = Upload::create(folderID, fileURL);
    if (!record)
        return failedRecord<StoredProducer>(record.error());
    return upload(client, *record);
}

StoredProducer upload(const std::shared_ptr<APIClient>& client, const Platform::URL& fileURL, const File& folder)
{
    return upload(client, fileURL, folder.fileID());
}

StoredProducer overwrite(const std::shared_ptr<APIClient>& client, std::int64_t fileID, const Upload& upload)
{
    return perform(FileUploadRequest(upload, fileID), client);
}

StoredProducer overwrite(const std::shared_ptr<APIClient>& client, std::int64_t fileID, std::int64_t folderID, const Platform::URL& fileURL)
{
    auto record = Upload::create(folderID, fileURL);
    if (!record)
        return failedRecord<StoredProducer>(record.error());
    return overwrite(client, fileID, *record);
}

StoredProducer overwrite(const std::shared_ptr<APIClient>& client, const File& file, const Platform::URL& fileURL)
{
    return overwrite(client, file.fileID(), file.parentID(), fileURL);
}

} // namespace Quarlink
