#include "Sync/Model/SyncFileID.hpp"

#include "Platform/Foundation/UUID.hpp"

#include <array>
#include <cstdlib>
#include <cstring>

namespace Sync {

SyncFileID::SyncFileID()
{
    Platform::UUID uuid;
    const auto& bytes = uuid.bytes();
    // A generated UUID always has the RFC 4122 variant, which no other kind's tag has.
    static_assert(sizeof bytes == sizeof m_first + sizeof m_second);
    std::memcpy(&m_first, bytes.data(), sizeof m_first);
    std::memcpy(&m_second, bytes.data() + sizeof m_first, sizeof m_second);
    if ((bytes[8] & 0xc0) != 0x80)
        std::abort();
}

SyncFileID::SyncFileID(std::optional<std::int64_t> remoteID)
    : SyncFileID(remoteID ? SyncFileID(*remoteID) : SyncFileID())
{
}

SyncFileID::SyncFileID(std::string text)
    : m_first(reinterpret_cast<std::uint64_t>(new SharedText { 1, std::move(text) }))
    , m_second(std::endian::native == std::endian::little ? textTag : textTag << 56)
{
}

SyncFileID::SyncFileID(const SyncFileID& other) noexcept
    : m_first(other.m_first)
    , m_second(other.m_second)
{
    hold();
}

SyncFileID::SyncFileID(SyncFileID&& other) noexcept
    : m_first(other.m_first)
    , m_second(other.m_second)
{
    // The moved-from id stays a valid value: a remote one, as a plain number would.
    other.m_second = remoteTag;
}

SyncFileID& SyncFileID::operator=(const SyncFileID& other) noexcept
{
    other.hold();
    release();
    m_first = other.m_first;
    m_second = other.m_second;
    return *this;
}

SyncFileID& SyncFileID::operator=(SyncFileID&& other) noexcept
{
    if (this != &other) {
        release();
        m_first = other.m_first;
        m_second = other.m_second;
        other.m_second = remoteTag;
    }
    return *this;
}

void SyncFileID::hold() const noexcept
{
    if (kind() == Kind::text)
        sharedText()->holders.fetch_add(1, std::memory_order_relaxed);
}

void SyncFileID::release() noexcept
{
    if (kind() == Kind::text && sharedText()->holders.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete sharedText();
}

std::string SyncFileID::uuidText() const
{
    std::array<std::uint8_t, 16> bytes;
    std::memcpy(bytes.data(), &m_first, sizeof m_first);
    std::memcpy(bytes.data() + sizeof m_first, &m_second, sizeof m_second);
    return Platform::UUID::fromBytes(bytes).uuidString();
}

SyncFileID SyncFileID::local(std::string text)
{
    return SyncFileID(std::move(text));
}

std::optional<std::string> SyncFileID::localText() const
{
    switch (kind()) {
    case Kind::uuid:
        return uuidText();
    case Kind::text:
        return sharedText()->text;
    case Kind::remote:
        break;
    }
    return std::nullopt;
}

std::string SyncFileID::description() const
{
    if (auto number = remoteID())
        return "Remote(" + std::to_string(*number) + ")";
    return "Local";
}

ArchiveValue SyncFileID::encoded() const
{
    if (auto number = remoteID())
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
    return left.m_first == right.m_first;
}

} // namespace Sync
