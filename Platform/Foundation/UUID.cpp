#include "Platform/Foundation/UUID.hpp"

#include <uuid/uuid.h>

namespace Platform {

UUID::UUID()
{
    ::uuid_generate_random(m_bytes.data());
}

std::optional<UUID> UUID::create(std::string_view text)
{
    // uuid_parse accepts exactly 36 characters but needs a terminator.
    if (text.size() != 36)
        return std::nullopt;
    char terminated[37];
    text.copy(terminated, 36);
    terminated[36] = '\0';
    std::array<std::uint8_t, 16> bytes {};
    if (::uuid_parse(terminated, bytes.data()) != 0)
        return std::nullopt;
    return UUID(bytes);
}

std::string UUID::uuidString() const
{
    char text[37];
    ::uuid_unparse_upper(m_bytes.data(), text);
    return std::string(text, 36);
}

} // namespace Platform
