#pragma once

// Orvella/InfoPlistTools: the values the application takes from its build
// info: the version text and the crash-reporting identifier.

#include <optional>
#include <string>

namespace Orvella::InfoPlistTools {

// "<short version> (<build number>)", e.g. "1.2 (345)"; "Unknown Version"
// when either is missing.
[[nodiscard]] std::string versionString();
[[nodiscard]] std::string versionString(const std::optional<std::string>& shortVersion, const std::optional<std::string>& buildNumber);

// The crash-reporting identifier; a build without one stops with
// "HockeyIdentifier not found in plist!".
[[nodiscard]] std::string hockeyAppIdentifier();
[[nodiscard]] std::string hockeyAppIdentifier(const std::optional<std::string>& value);

} // namespace Orvella::InfoPlistTools
