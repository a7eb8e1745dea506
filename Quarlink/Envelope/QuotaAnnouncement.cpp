#include "Quarlink/Envelope/QuotaAnnouncement.hpp"

#include "Quarlink/Notifications/NotificationSignals.hpp"

namespace Quarlink {

void announceQuota(const void* client, const Quota& quota)
{
    Platform::NotificationCenter::defaultCenter().post(std::string(quotaNotificationName), client, { { std::string(quotaKey), quota } });
}

Reactive::SignalProducer<Quota, Reactive::NoError> receivedQuota(const void* client)
{
    return notifications(Platform::NotificationCenter::defaultCenter(), std::string(quotaNotificationName), client)
        .filterMap([](const Platform::Notification& notification) -> std::optional<Quota> {
            if (const auto* quota = notification.userInfoValue<Quota>(quotaKey))
                return *quota;
            return std::nullopt;
        });
}

} // namespace Quarlink
