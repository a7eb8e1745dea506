#include "Quarlink/Downloads/FileDownloadRequest.hpp"

namespace Quarlink {

std::optional<Platform::URL> FileDownloadRequest::destinationURL() const
{
    if (!targetDownloadFolderURL)
        return std::nullopt;
    return downloadDestinationURL(*targetDownloadFolderURL, fileID, fileName);
}

} // namespace Quarlink
