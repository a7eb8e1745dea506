#include "Quarlink/Files/MoveBatchPackage.hpp"

namespace Quarlink {

std::expected<MoveBatchPackage, DecodingError> MoveBatchPackage::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto moved = object->decode<std::vector<File>>("success");
    if (!moved)
        return std::unexpected(moved.error());
    auto failed = object->decode<std::vector<std::int64_t>>("errors");
    if (!failed)
        return std::unexpected(failed.error());
    return MoveBatchPackage { std::move(*moved), std::move(*failed) };
}

} // namespace Quarlink
