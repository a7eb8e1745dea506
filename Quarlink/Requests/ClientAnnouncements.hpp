#pragma once

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Envelope/QuotaAnnouncement.hpp"
#include "Quarlink/Envelope/RequestFailureNotification.hpp"

namespace Quarlink {

// The announcements made for one client (its identity as the sender), as the
// application observes them. See `receivedQuota(const void*)` and `errorInfos(const void*)`.
[[nodiscard]] inline Reactive::SignalProducer<Quota, Reactive::NoError> receivedQuota(const APIClient& client)
{
    return receivedQuota(static_cast<const void*>(&client));
}

[[nodiscard]] inline Reactive::SignalProducer<RequestErrorInfo, Reactive::NoError> errorInfos(const APIClient& client)
{
    return errorInfos(static_cast<const void*>(&client));
}

} // namespace Quarlink
