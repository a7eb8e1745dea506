#pragma once

#include "Quarlink/Envelope/Quota.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <string_view>

namespace Quarlink {

// The announcement of an account's quota, made once for every successful
// enveloped response that carries one, on the default notification centre.
inline constexpr std::string_view quotaNotificationName = "APIClientDidReceiveQuota";
// Its only user-info key; the value is the `Quota` itself.
inline constexpr std::string_view quotaKey = "quota";

// Posts the announcement with `client` as sender, synchronously on the calling thread.
void announceQuota(const void* client, const Quota& quota);

// The quotas announced for `client` after each start (announcements of other
// clients, and postings without a `Quota` under "quota", are skipped). Values
// arrive on the posting thread; never fails or completes by itself.
[[nodiscard]] Reactive::SignalProducer<Quota, Reactive::NoError> receivedQuota(const void* client);

} // namespace Quarlink
