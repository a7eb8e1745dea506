#include "Quarlink/Shares/SharePermission.hpp"

namespace Quarlink {

std::expected<SharePermission, DecodingError> SharePermission::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    SharePermission permission;
    std::optional<DecodingError> error;
    if (!object->read("is_share_allowed_private", permission.isPrivatelySharable, error)
        || !object->read("is_share_allowed_public", permission.isPubliclySharable, error))
        return std::unexpected(std::move(*error));
    return permission;
}

} // namespace Quarlink
