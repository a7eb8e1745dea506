#include "Quarlink/Envelope/RequestFailureNotification.hpp"

#include "Quarlink/Notifications/NotificationSignals.hpp"

namespace Quarlink {

void postRequestFailure(const void* client, const std::optional<Platform::URLRequest>& request, const Reactive::AnyError& error)
{
    auto info = RequestErrorInfo::make(request, error);
    if (!info)
        return;
    Platform::NotificationCenter::defaultCenter().post(std::string(requestFailedNotificationName), client,
        { { std::string(requestInfoKey), std::move(*info) } });
}

Reactive::SignalProducer<RequestErrorInfo, Reactive::NoError> errorInfos(const void* client)
{
    return notifications(Platform::NotificationCenter::defaultCenter(), std::string(requestFailedNotificationName), client)
        .filterMap([](const Platform::Notification& notification) -> std::optional<RequestErrorInfo> {
            if (const auto* info = notification.userInfoValue<RequestErrorInfo>(requestInfoKey))
                return *info;
            return std::nullopt;
        });
}

} // namespace Quarlink
