#include "Quarlink/Files/FileListingRequests.hpp"

namespace Quarlink {

std::vector<URLQueryItem> FileListRequest::queryItems() const
{
    if (!folderID)
        return {};
    return { { "fileId", std::to_string(*folderID) } };
}

std::string FileListRequest::debugDescription() const
{
    return "FileListRequest(folderID: " + std::to_string(folderID.value_or(-1)) + ")";
}

} // namespace Quarlink
