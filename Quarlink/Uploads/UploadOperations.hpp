#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Uploads/Upload.hpp"
#include "Quarlink/Uploads/UploadRequests.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstdint>
#include <memory>

namespace Quarlink {

class APIClient;

// Storing local files in remote folders. An operation that takes a file URL
// builds the record when it is called, reading and hashing the whole file on
// the caller's thread; when the record cannot be built, the returned producer
// fails with that `FileSystemError` once started and sends nothing.

// Announces a file: the service asks for the content, or has the file already.
[[nodiscard]] Reactive::SignalProducer<UploadInitResult, Reactive::AnyError> prepareUpload(const std::shared_ptr<APIClient>& client,
    const Upload& upload);
[[nodiscard]] Reactive::SignalProducer<UploadInitResult, Reactive::AnyError> prepareUpload(const std::shared_ptr<APIClient>& client,
    const Platform::URL& fileURL, std::int64_t folderID);
[[nodiscard]] Reactive::SignalProducer<UploadInitResult, Reactive::AnyError> prepareUpload(const std::shared_ptr<APIClient>& client,
    const Platform::URL& fileURL, const File& folder);

// Announces the file and sends its content when the service asks for it; the
// stored file. A file the service has already is the result without a
// transfer (metadata without quota); no transfer follows a failed announcement.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<File>, Reactive::AnyError> upload(const std::shared_ptr<APIClient>& client,
    const Upload& upload);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<File>, Reactive::AnyError> upload(const std::shared_ptr<APIClient>& client,
    const Platform::URL& fileURL, std::int64_t folderID);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<File>, Reactive::AnyError> upload(const std::shared_ptr<APIClient>& client,
    const Platform::URL& fileURL, const File& folder);

// Sends new content to an existing file, without announcement; the folder
// only enters the request hash.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<File>, Reactive::AnyError> overwrite(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID, const Upload& upload);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<File>, Reactive::AnyError> overwrite(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID, std::int64_t folderID, const Platform::URL& fileURL);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<File>, Reactive::AnyError> overwrite(const std::shared_ptr<APIClient>& client,
    const File& file, const Platform::URL& fileURL);

} // namespace Quarlink
