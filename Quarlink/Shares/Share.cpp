#include "Quarlink/Shares/Share.hpp"

namespace Quarlink {

std::expected<Share, DecodingError> Share::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto type = object->decode<std::string>("type");
    if (!type)
        return std::unexpected(type.error());
    if (*type == "public") {
        auto share = PublicShare::decode(reader);
        if (!share)
            return std::unexpected(share.error());
        return public_(std::move(*share));
    }
    auto share = PrivateShare::decode(reader);
    if (!share)
        return std::unexpected(share.error());
    return private_(std::move(*share));
}

std::int64_t Share::shareID() const
{
    return std::visit([](const auto& share) { return share.shareID; }, m_share);
}

std::int64_t Share::fileID() const
{
    return std::visit([](const auto& share) { return share.fileID; }, m_share);
}

std::optional<PublicShare> Share::publicShare() const
{
    if (const auto* share = std::get_if<PublicShare>(&m_share))
        return *share;
    return std::nullopt;
}

std::optional<PrivateShare> Share::privateShare() const
{
    if (const auto* share = std::get_if<PrivateShare>(&m_share))
        return *share;
    return std::nullopt;
}

} // namespace Quarlink
