#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaData.hpp"

namespace Quarlink {

std::expected<CloudMetaData, DecodingError> CloudMetaData::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto quota = object->decodeIfPresent<Quota>(CodingKeys(CodingKeys::Case::quota).stringValue());
    if (!quota)
        return std::unexpected(quota.error());
    return CloudMetaData(std::move(*quota));
}

} // namespace Quarlink
