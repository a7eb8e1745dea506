#include "Quarlink/Account/Quota.hpp"

namespace Quarlink {

std::expected<Quota, DecodingError> Quota::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto total = object->decode<std::int64_t>("total");
    if (!total)
        return std::unexpected(total.error());
    auto used = object->decode<std::int64_t>("used");
    if (!used)
        return std::unexpected(used.error());
    return Quota { *used, *total };
}

std::string Quota::description() const
{
    return "Quota(usedBytes: " + std::to_string(usedBytes) + ", totalBytes: " + std::to_string(totalBytes) + ")";
}

} // namespace Quarlink
