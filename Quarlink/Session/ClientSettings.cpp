#include "Quarlink/Session/ClientSettings.hpp"

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Session/SessionRefresher.hpp"

#include <any>

namespace Quarlink {

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

std::shared_ptr<SessionRefresher> sessionRefresher(const APIClient& client)
{
    auto stored = client.userInfo(std::string(refresherKey));
    const auto* refresher = std::any_cast<std::shared_ptr<SessionRefresher>>(&stored);
    return refresher ? *refresher : nullptr;
}

void setSessionRefresher(APIClient& client, std::shared_ptr<SessionRefresher> refresher)
{
    client.setUserInfo(std::string(refresherKey), refresher ? std::any(std::move(refresher)) : std::any());
}

} // namespace Quarlink
