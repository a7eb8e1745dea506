#include "Quarlink/Session/SessionRecovery.hpp"

#include "Platform/Foundation/Log.hpp"

namespace Quarlink::Detail {

void logRenewalsExhausted(const std::string& path)
{
    Platform::Log::Stream() << "❗️ Session still rejected after " << maximumSessionRenewals << " renewals: " << path;
}

} // namespace Quarlink::Detail
