#include "Quarlink/Shares/PrivateShare.hpp"

namespace Quarlink {

std::expected<PrivateShare, DecodingError> PrivateShare::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    PrivateShare share;
    std::optional<DecodingError> error;
    if (!object->read("id", share.shareID, error) || !object->read("file_id", share.fileID, error)
        || !object->read("is_mine", share.isMine, error))
        return std::unexpected(std::move(*error));
    auto status = object->member("status");
    if (!status)
        return std::unexpected(object->keyNotFound("status"));
    auto decodedStatus = decodeShareStatus(*status);
    if (!decodedStatus)
        return std::unexpected(decodedStatus.error());
    share.status = *decodedStatus;
    if (!object->readIfPresent("display_name", share.recipient, error) || !object->read("display_email", share.email, error)
        || !object->read("name", share.fileName, error) || !object->read("cid", share.cid, error))
        return std::unexpected(std::move(*error));
    return share;
}

} // namespace Quarlink
