#include "Quarlink/Shares/ShareInfo.hpp"

namespace Quarlink {

std::expected<ShareInfo, DecodingError> ShareInfo::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto owner = object->decode<Owner>("owner");
    if (!owner)
        return std::unexpected(owner.error());
    auto shares = object->decode<std::vector<Share>>("shares");
    if (!shares)
        return std::unexpected(shares.error());
    return ShareInfo(std::move(*owner), std::move(*shares));
}

std::vector<PrivateShare> ShareInfo::shares() const
{
    std::vector<PrivateShare> result;
    for (const auto& share : allShares) {
        if (auto privateShare = share.privateShare())
            result.push_back(std::move(*privateShare));
    }
    return result;
}

} // namespace Quarlink
