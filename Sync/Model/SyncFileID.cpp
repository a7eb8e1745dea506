#include "Sync/Model/SyncFileID.hpp"

#include "Platform/Foundation/UUID.hpp"

namespace Sync {

SyncFileID::SyncFileID()
    : m_value(std::in_place_type<Platform::UUID>)
{
}

SyncFileID::SyncFileID(std::optional<std::int64_t> remoteID)
    : m_value(remoteID ? decltype(m_value)(*remoteID) : decltype(m_value)(std::in_place_type<Platform::UUID>))
{
}

SyncFileID SyncFileID::local(std::string text)
{
    return SyncFileID(std::move(text));
}

std::optional<std::int64_t> SyncFileID::remoteID() const
{
    if (auto number = std::get_if<std::int64_t>(&m_value))
        return *number;
    return std::nullopt;
}

std::optional<std::string> SyncFileID::localText() const
{
    if (auto uuid = std::get_if<Platform::UUID>(&m_value))
        return uuid->uuidString();
    if (auto text = std::get_if<std::shared_ptr<const std::string>>(&m_value))
        return **text;
    return std::nullopt;
}

std::string SyncFileID::description() const
{
    if (auto number = std::get_if<std::int64_t>(&m_value))
        return "Remote(" + std::to_string(*number) + ")";
    return "Local";
}

ArchiveValue SyncFileID::encoded() const
{
    if (auto number = std::get_if<std::int64_t>(&m_value))
        return ArchiveValue(*number);
    return ArchiveValue(*localText());
}

std::expected<SyncFileID, DecodingError> SyncFileID::decoded(const ArchiveValue& value)
{
    if (auto text = value.text())
        return SyncFileID(*text);
    if (auto number = value.integer())
        return SyncFileID(*number);
    return std::unexpected(DecodingError { "Int64" });
}

bool operator==(const SyncFileID& left, const SyncFileID& right)
{
    if (left.isLocal() || right.isLocal())
        return left.isLocal() && right.isLocal();
    return std::get<std::int64_t>(left.m_value) == std::get<std::int64_t>(right.m_value);
}

} // namespace Sync
