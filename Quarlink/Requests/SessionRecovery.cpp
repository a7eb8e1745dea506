#include "Quarlink/Requests/SessionRecovery.hpp"

#include "Platform/Foundation/Log.hpp"

namespace Quarlink::Detail {

std::unique_ptr<SessionRenewals::Attempt> beginSessionAttempt(const APIClient& client)
{
    auto refresher = sessionRefresher(client);
    if (!refresher)
        return nullptr;
    return refresher->renewals()->begin();
}

void logRenewalsExhausted(const std::string& path)
{
    Platform::Log::Stream() << "❗️ Session still rejected after its renewal: " << path;
}

} // namespace Quarlink::Detail
