#pragma once

#include "Shared/Color.hpp"

namespace Orvella {

// A brand's colours for the login window.
class ThemeType {
public:
    virtual ~ThemeType() = default;
    // Background of the logo banner.
    [[nodiscard]] virtual Color loginLogoBackgroundColor() const = 0;
    // The login error text.
    [[nodiscard]] virtual Color loginErrorTextColor() const = 0;
};

// A theme as a record of its two colours.
struct BrandTheme : ThemeType {
    Color logoBackground;
    Color errorText;

    BrandTheme(Color logoBackground, Color errorText) : logoBackground(logoBackground), errorText(errorText) {}
    [[nodiscard]] Color loginLogoBackgroundColor() const override { return logoBackground; }
    [[nodiscard]] Color loginErrorTextColor() const override { return errorText; }
};

struct BrisantoTheme final : BrandTheme {
    BrisantoTheme() : BrandTheme(Color::hex(0x84BC34), Color::hex(0xDE4C12)) {}
};

struct TalvernTheme final : BrandTheme {
    TalvernTheme() : BrandTheme(Color::hex(0x1B4F9C), Color::hex(0xD0021B)) {}
};

struct RavikTheme final : BrandTheme {
    RavikTheme() : BrandTheme(Color::hex(0x2E2A6B), Color::hex(0xC8102E)) {}
};

} // namespace Orvella
