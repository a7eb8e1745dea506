#include "Quarlink/Thumbnails/ThumbnailDownloadRequest.hpp"

namespace Quarlink {

std::string ThumbnailDownloadRequest::debugDescription() const
{
    return "ThumbnailDataRequest(fileID: " + std::to_string(fileID) + ")";
}

} // namespace Quarlink
