#include "Quarlink/Files/EtagResponse.hpp"

namespace Quarlink {

std::expected<EtagResponse, DecodingError> EtagResponse::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto fileID = object->decode<std::int64_t>(CodingKeys(CodingKeys::Case::fileID).stringValue());
    if (!fileID)
        return std::unexpected(fileID.error());
    auto etag = object->decode<std::string>(CodingKeys(CodingKeys::Case::etag).stringValue());
    if (!etag)
        return std::unexpected(etag.error());
    return EtagResponse { *fileID, std::move(*etag) };
}

std::string EtagResponse::debugDescription() const
{
    return "Etag(fileID: " + std::to_string(fileID) + ", etag: " + etag + ")";
}

} // namespace Quarlink
