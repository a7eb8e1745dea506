#include "Quarlink/Downloads/FileDownloadRequest.hpp"

#include "Quarlink/TalvernAPIClient/ResponseDecoding/DownloadPlacement.hpp"

namespace Quarlink {

std::optional<Platform::URL> FileDownloadRequest::destinationURL() const
{
    if (!targetDownloadFolderURL)
        return std::nullopt;
    return downloadDestinationURL(*targetDownloadFolderURL, fileID, fileName);
}

bool FileDownloadRequest::isValid() const
{
    return !targetDownloadFolderURL || isSafeFileName(fileName);
}

} // namespace Quarlink
