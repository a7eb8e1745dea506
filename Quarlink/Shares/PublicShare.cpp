#include "Quarlink/Shares/PublicShare.hpp"

namespace Quarlink {

std::expected<PublicShare, DecodingError> PublicShare::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    std::optional<DecodingError> error;
    std::int64_t shareID = 0;
    std::int64_t fileID = 0;
    if (!object->read("id", shareID, error) || !object->read("file_id", fileID, error))
        return std::unexpected(std::move(*error));
    auto url = object->decode<Platform::URL>("url");
    if (!url)
        return std::unexpected(url.error());
    PublicShare share { shareID, fileID, std::move(*url), std::nullopt };
    if (!object->readIfPresent("share_valid_to", share.validTo, error))
        return std::unexpected(std::move(*error));
    return share;
}

} // namespace Quarlink
