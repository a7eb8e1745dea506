#include "Quarlink/Requests/RequestFilter.hpp"
#include "Quarlink/Requests/SessionRefresher.hpp"

namespace Quarlink {

namespace {

template<class T>
std::shared_ptr<T> userInfoObject(const APIClient& client, std::string_view key)
{
    auto value = client.userInfo(std::string(key));
    if (auto* object = std::any_cast<std::shared_ptr<T>>(&value))
        return *object;
    return nullptr;
}

template<class T>
void setUserInfoObject(APIClient& client, std::string_view key, std::shared_ptr<T> object)
{
    // An empty value removes the entry.
    client.setUserInfo(std::string(key), object ? std::any(std::move(object)) : std::any());
}

} // namespace

std::shared_ptr<RequestFilter> requestFilter(const APIClient& client)
{
    return userInfoObject<RequestFilter>(client, requestFilterKey);
}

void setRequestFilter(APIClient& client, std::shared_ptr<RequestFilter> filter)
{
    setUserInfoObject(client, requestFilterKey, std::move(filter));
}

std::shared_ptr<SessionRefresher> sessionRefresher(const APIClient& client)
{
    return userInfoObject<SessionRefresher>(client, sessionRefresherKey);
}

void setSessionRefresher(APIClient& client, std::shared_ptr<SessionRefresher> refresher)
{
    setUserInfoObject(client, sessionRefresherKey, std::move(refresher));
}

} // namespace Quarlink
