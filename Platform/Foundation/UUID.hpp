#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// A 128-bit universally unique identifier. Its text is 36 characters,
// upper-case hexadecimal digits in groups of 8-4-4-4-12 separated by hyphens.
// A plain value, freely shared; generation is thread-safe.
class UUID {
public:
    // A new random (version 4) identifier, from the kernel's random source.
    UUID();

    // Parses the 36-character text in either letter case; anything else gives
    // no identifier.
    [[nodiscard]] static std::optional<UUID> create(std::string_view text);
    // The identifier of these bytes, as `bytes()` gives them.
    [[nodiscard]] static UUID fromBytes(const std::array<std::uint8_t, 16>& bytes) { return UUID(bytes); }

    [[nodiscard]] std::string uuidString() const;
    [[nodiscard]] const std::array<std::uint8_t, 16>& bytes() const { return m_bytes; }

    friend bool operator==(const UUID&, const UUID&) = default;

private:
    explicit UUID(const std::array<std::uint8_t, 16>& bytes)
        : m_bytes(bytes)
    {
    }

    std::array<std::uint8_t, 16> m_bytes {};
};

} // namespace Platform

template<>
struct std::hash<Platform::UUID> {
    std::size_t operator()(const Platform::UUID& uuid) const noexcept
    {
        std::size_t hash = 0;
        for (auto byte : uuid.bytes())
            hash = hash * 131 + byte;
        return hash;
    }
};
