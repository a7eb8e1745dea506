#pragma once

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Requests/RequestInfos.hpp"

namespace Quarlink {

// The transfer of a request: its URL request, assembled from the client's
// current base URL at every call, handed to the client's data, upload or
// download producer at normal priority. The producer is returned unchanged and
// cold: calling this sends nothing. Never fails by itself; runs on the calling
// thread and takes no lock.
template<class R>
[[nodiscard]] Reactive::SignalProducer<RequestResponse<R>, Reactive::AnyError> performURLRequest(const R& request, APIClient& client)
{
    auto urlRequest = makeURLRequest(request, client.endpoint()->baseURL());
    if constexpr (taskKindOf<R> == TaskKind::data) {
        return client.dataProducer(std::move(urlRequest), QueuePriority::normal);
    } else if constexpr (taskKindOf<R> == TaskKind::upload) {
        return client.uploadProducer(std::move(urlRequest), request.fileURL(), QueuePriority::normal);
    } else {
        std::optional<std::int64_t> expectedSize;
        if constexpr (Overrides<R, RequestMember::expectedSize>)
            expectedSize = request.expectedSize();
        return client.downloadProgressProducer(std::move(urlRequest), QueuePriority::normal, expectedSize);
    }
}

} // namespace Quarlink
