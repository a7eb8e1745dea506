#include "Quarlink/Thumbnails/ThumbnailRequest.hpp"

#include "Quarlink/TalvernAPIClient/ResponseDecoding/ResponseParsing.hpp"

namespace Quarlink {

double ThumbnailRequest::scale() const
{
    return imageScale();
}

std::string ThumbnailRequest::debugDescription() const
{
    return "ThumbnailRequest(fileID: " + std::to_string(fileID) + ")";
}

} // namespace Quarlink
