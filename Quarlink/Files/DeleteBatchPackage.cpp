#include "Quarlink/Files/DeleteBatchPackage.hpp"

namespace Quarlink {

std::expected<DeleteBatchPackage, DecodingError> DeleteBatchPackage::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto deleted = object->decode<std::vector<std::int64_t>>("success");
    if (!deleted)
        return std::unexpected(deleted.error());
    auto errors = object->decode<std::vector<RemoteError>>("errors");
    if (!errors)
        return std::unexpected(errors.error());
    return DeleteBatchPackage(*deleted, std::move(*errors));
}

} // namespace Quarlink
