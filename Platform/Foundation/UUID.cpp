#include "Platform/Foundation/UUID.hpp"

#include <cstring>
#include <sys/random.h>
#include <uuid/uuid.h>

namespace Platform {

namespace {

// A disk scan makes one identifier per item; uuid_generate_random costs
// several system calls each time, so random bytes are fetched in batches.
struct RandomBytes {
    std::uint8_t buffer[4096];
    std::size_t used { sizeof buffer };

    bool take(std::uint8_t* bytes, std::size_t count)
    {
        if (used + count > sizeof buffer) {
            std::size_t filled = 0;
            while (filled < sizeof buffer) {
                ssize_t got = ::getrandom(buffer + filled, sizeof buffer - filled, 0);
                if (got <= 0)
                    return false;
                filled += static_cast<std::size_t>(got);
            }
            used = 0;
        }
        std::memcpy(bytes, buffer + used, count);
        used += count;
        return true;
    }
};

} // namespace

UUID::UUID()
{
    thread_local RandomBytes random;
    if (!random.take(m_bytes.data(), m_bytes.size())) {
        ::uuid_generate_random(m_bytes.data());
        return;
    }
    // Version 4 (random), variant RFC 4122.
    m_bytes[6] = static_cast<std::uint8_t>((m_bytes[6] & 0x0f) | 0x40);
    m_bytes[8] = static_cast<std::uint8_t>((m_bytes[8] & 0x3f) | 0x80);
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
