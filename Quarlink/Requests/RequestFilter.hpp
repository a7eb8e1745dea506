#pragma once

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Requests/AnyRequest.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>
#include <string_view>

namespace Quarlink {

// Decides for each request whether and when it may be sent. Installed per
// client by whoever configures it; the library installs none.
//
// `shouldPerform` is called once, on the thread that calls `perform` for the
// request; its producer is started with each start of the request. Its
// answers: a `true` that differs from the answer before starts the transfer;
// a `false` holds it back and cancels a running one; a later `true` starts it
// afresh; completion ends nothing by itself; a failure fails the request (and
// cancels a running transfer); an interruption interrupts it. Answers may come
// on any thread.
class RequestFilter {
public:
    virtual ~RequestFilter() = default;
    [[nodiscard]] virtual Reactive::SignalProducer<bool, Reactive::AnyError> shouldPerform(const AnyRequest& request, APIClient& client) = 0;
};

// The key of the filter in the client's user infos.
inline constexpr std::string_view requestFilterKey = "requestFilter";

// The installed filter; null when none is installed or the entry holds something else.
[[nodiscard]] std::shared_ptr<RequestFilter> requestFilter(const APIClient& client);
// Installs `filter`; null removes the entry, whatever it held.
void setRequestFilter(APIClient& client, std::shared_ptr<RequestFilter> filter);

// The gate of every request: the installed filter's answers for a copy of
// `request`, or one `true` then completion without a filter.
template<class R>
[[nodiscard]] Reactive::SignalProducer<bool, Reactive::AnyError> shouldPerform(const R& request, APIClient& client)
{
    auto filter = requestFilter(client);
    if (!filter)
        return Reactive::SignalProducer<bool, Reactive::AnyError>::value(true);
    return filter->shouldPerform(AnyRequest(request), client);
}

} // namespace Quarlink
