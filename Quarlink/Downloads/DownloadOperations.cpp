#include "Quarlink/Downloads/DownloadOperations.hpp"

#include "Quarlink/Requests/Perform.hpp"

namespace Quarlink {

Reactive::SignalProducer<ProgressEvent<Platform::URL>, Reactive::AnyError> download(const std::shared_ptr<APIClient>& client,
    const File& file, std::optional<Platform::URL> folder)
{
    return perform(FileDownloadRequest::make(file, std::move(folder)), client);
}

Reactive::SignalProducer<ProgressEvent<Platform::URL>, Reactive::AnyError> download(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID, const std::string& fileName, std::optional<std::int64_t> numberOfBytes, std::optional<Platform::URL> folder)
{
    return perform(FileDownloadRequest { fileID, fileName, numberOfBytes, std::move(folder) }, client);
}

} // namespace Quarlink
