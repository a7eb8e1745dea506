#include "Quarlink/Shares/Owner.hpp"

namespace Quarlink {

std::expected<Owner, DecodingError> Owner::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    Owner owner;
    std::optional<DecodingError> error;
    if (!object->read("cid", owner.cid, error) || !object->read("first_name", owner.firstName, error)
        || !object->read("last_name", owner.lastName, error) || !object->read("email", owner.email, error))
        return std::unexpected(std::move(*error));
    return owner;
}

} // namespace Quarlink
