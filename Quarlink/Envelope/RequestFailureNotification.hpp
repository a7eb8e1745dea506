#pragma once

#include "Quarlink/Envelope/RequestErrorInfo.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <string_view>

namespace Quarlink {

// The notification of a failed request worth reporting, on the default
// notification centre, with the client as sender.
inline constexpr std::string_view requestFailedNotificationName = "RequestFailedNotification";
// Its only user-info key; the value is one `RequestErrorInfo`.
inline constexpr std::string_view requestInfoKey = "requestInfos";

// Builds the record of `error` for `request` and, when there is one, posts it
// synchronously on the calling thread; posts nothing for other errors.
void postRequestFailure(const void* client, const std::optional<Platform::URLRequest>& request, const Reactive::AnyError& error);

// The records posted for `client` after each start; other clients' are not
// seen. Values arrive on the posting thread; never fails or completes by itself.
[[nodiscard]] Reactive::SignalProducer<RequestErrorInfo, Reactive::NoError> errorInfos(const void* client);

} // namespace Quarlink
