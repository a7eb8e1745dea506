#pragma once

#include <cstdint>

namespace Orvella {

// An RGB colour with alpha, each component in 0...1. A plain value.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    // From a 24-bit integer: red in bits 16-23, green 8-15, blue 0-7, each /255.
    [[nodiscard]] static constexpr Color hex(std::uint32_t value, double alpha = 1.0)
    {
        return Color { static_cast<double>((value >> 16) & 0xFF) / 255.0, static_cast<double>((value >> 8) & 0xFF) / 255.0,
            static_cast<double>(value & 0xFF) / 255.0, alpha };
    }

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

} // namespace Orvella
