#include "Quarlink/Session/WorldID.hpp"

#include "Quarlink/Client/APIClient.hpp"

#include <any>

namespace Quarlink {

std::string_view rawValue(WorldID world)
{
    switch (world) {
    case WorldID::brisanto: return "4";
    case WorldID::talvern: return "2";
    case WorldID::ravik: return "5";
    }
    return "2";
}

std::optional<WorldID> worldIDFromRawValue(std::string_view text)
{
    for (auto world : { WorldID::brisanto, WorldID::talvern, WorldID::ravik }) {
        if (rawValue(world) == text)
            return world;
    }
    return std::nullopt;
}

WorldID worldID(const APIClient& client)
{
    auto stored = client.userInfo(std::string(worldIDKey));
    const auto* text = std::any_cast<std::string>(&stored);
    if (!text)
        return WorldID::talvern;
    return worldIDFromRawValue(*text).value_or(WorldID::talvern);
}

void setWorldID(APIClient& client, WorldID world)
{
    client.setUserInfo(std::string(worldIDKey), std::string(rawValue(world)));
}

} // namespace Quarlink
