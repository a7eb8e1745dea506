#include "Orvella/InfoPlistTools/InfoPlistTools.hpp"

#include "Orvella/InfoPlistTools/BuildInfo.hpp"
#include "Shared/SharedConstants.hpp"

#include <string_view>

namespace Orvella::InfoPlistTools {

namespace {

std::optional<std::string> value(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    return std::string(text);
}

} // namespace

std::string versionString(const std::optional<std::string>& shortVersion, const std::optional<std::string>& buildNumber)
{
    if (!shortVersion || !buildNumber)
        return "Unknown Version";
    return *shortVersion + " (" + *buildNumber + ")";
}

std::string versionString() { return versionString(value(BuildInfo::shortVersion), value(BuildInfo::buildNumber)); }

std::string hockeyAppIdentifier(const std::optional<std::string>& identifier)
{
    if (!identifier)
        fatalError("HockeyIdentifier not found in plist!");
    return *identifier;
}

std::string hockeyAppIdentifier() { return hockeyAppIdentifier(value(BuildInfo::hockeyAppIdentifier)); }

} // namespace Orvella::InfoPlistTools
