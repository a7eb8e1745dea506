#include "Quarlink/Thumbnails/ThumbnailOperations.hpp"

#include "Quarlink/Requests/Perform.hpp"
#include "Quarlink/Thumbnails/ThumbnailDownloadRequest.hpp"
#include "Quarlink/Thumbnails/ThumbnailRequest.hpp"

namespace Quarlink {

Reactive::SignalProducer<Image, Reactive::AnyError> thumbnail(const std::shared_ptr<APIClient>& client, std::int64_t fileID,
    ThumbnailSize size)
{
    return perform(ThumbnailRequest(fileID, size), client);
}

Reactive::SignalProducer<Platform::URL, Reactive::AnyError> downloadThumbnail(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID, ThumbnailSize size)
{
    return perform(ThumbnailDownloadRequest(fileID, size), client)
        .filterMap([](const ProgressEvent<Platform::URL>& event) { return event.downloadedValue(); });
}

} // namespace Quarlink
