#include "Quarlink/Requests/SessionRecovery.hpp"

#include "Platform/Foundation/Log.hpp"

namespace Quarlink::Detail {

void logRenewalsExhausted(const std::string& path)
{
    Platform::Log::Stream() << "❗️ Session still rejected after its renewal: " << path;
}

} // namespace Quarlink::Detail
